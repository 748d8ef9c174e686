// T-SQL literals of the values the destination writes, and the value rules that the statement
// path and the bulk-load path share, so that a row arrives the same way whichever path wrote it.
//
// The statement path writes every value as a literal into an INSERT (or UPDATE) text; the bulk
// path binds the value itself. Both first make the value one SQL Server accepts:
//   - a date before 1753 (MySQL's zero date 0000-00-00, a time-only value, a year such as 1000)
//     becomes 1899-12-30 with its own time of day; a date that is no calendar date (February 30)
//     is refused by the server in both paths;
//   - a floating number too close to zero or too large for SQL Server is clamped
//     (mssql_get_safe_variant);
//   - an exact decimal that does not fit its column becomes the column's largest value of the
//     same sign (gen_dec_value); one with more fraction digits than the column is rounded half
//     away from zero, as the server rounds a literal;
//   - a NULL for a NOT NULL column becomes the column's default, or the zero of its type
//     (mss_not_null_substitute).
#pragma once

#include <string>

#include "ole_variant.h"
#include "udb_record.h"
#include "udb_schema.h"

// A value SQL Server accepts: a VT_DATE outside the years 1753..9999 becomes 9999-12-30 (trace
// "Skip date-out-of-range"); a non-zero VT_R8 closer to zero than 2.23e-308 or beyond 1.79e308
// becomes that limit with its sign. Everything else is returned unchanged. Used for defaults as
// they are; rows pass mss_row_safe_value, which settles early dates first.
ole_variant mssql_get_safe_variant(const ole_variant& value);

// The value a row writes: a VT_DATE before 1753 moves to 1899-12-30 keeping its time of day
// (trace "Found 0000-00-00 date"), then mssql_get_safe_variant.
ole_variant mss_row_safe_value(const ole_variant& value);

// The value written in place of a NULL in a NOT NULL column: the column's default when it has
// one that is not NULL; otherwise the zero of the column's type: an empty text, an empty binary
// value, 1900-01-01 00:00:00 for a date (what the server makes of an empty date literal), and for
// every other type the number 0 changed to it. VT_EMPTY when the zero cannot be made.
ole_variant mss_not_null_substitute(const t_ftd& field);

// The T-SQL literal for the text form of a value of type `type`:
//   - empty text: "''";
//   - VT_DATE: the text read as a date and printed in the standard form, "0000-00-00" (a
//     time-only value) replaced by "1899-12-30" (trace "Null date has been found"), every "-"
//     removed: '20111231 10:20:30', '20111231';
//   - VT_BSTR: N'...' with every "'" doubled (a text that names a GUID keeps its whole text,
//     trace "BSTR IS AN GUID");
//   - binary types (trace "GOT BLOB!!!"): a text shorter than 2 characters gives an empty literal;
//     a GUID text gives 0x and its 32 digits ("BLOB IS AN GUID"); "0x" followed by hex digits, or
//     a text of digits only, is used unquoted; anything else is quoted;
//   - every other type: the text itself, every "'" doubled.
std::u16string to_mssql_str(const std::u16string& text, VARTYPE type);

// Whether a VT_DECIMAL value does not fit the decimal column `field` (precision and scale in
// its `reserved`, scale | precision << 8): its integer part, once rounded to the column's scale,
// has more digits than precision - scale. A column with `reserved` 0 takes every value. Another
// value type is a defect of the caller (tk_mail_assertion "mss_tab").
bool dec_is_out_of_range(const ole_variant& value, const t_ftd* field);

// The largest value of the column's precision and scale: "-" when negative, precision - scale
// nines, ".", scale nines (decimal(5,2) gives 999.99; scale 0 leaves a trailing "."). A null
// field is a defect (tk_mail_assertion "mss_tab").
std::u16string gen_dec_value(const t_ftd* field, bool negative);

// The T-SQL literal of one value of a statement for the column `field`. A NULL (or a value whose
// literal comes out empty) gives "NULL" for a nullable column and the literal of
// mss_not_null_substitute for a NOT NULL one. Null pointers are a defect (tk_mail_assertion
// "mss_tab").
std::u16string get_fld_append_str(const ole_variant* value, const t_ftd* field);

// The statement slow_record sends for `record` into `table_name` (already bracketed):
//   SET QUOTED_IDENTIFIER OFF; [SET IDENTITY_INSERT <table> ON; ]INSERT INTO <table>([a], [b])
//   VALUES( <a>, <b>)
// with the values found by the schema's column names. Empty for a schema without columns. A
// record whose size differs from the schema's, or that lacks a column of it, raises tk_exception
// with the "does not conform" message before anything is built.
std::u16string mss_insert_statement(const std::u16string& table_name, bool has_identity,
                                    const udb_schema& schema, const udb_record& record);
