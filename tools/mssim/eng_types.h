// SQL Server column types: parsing type names from DDL, their names and declarations, their
// families, the precedence used for implicit conversions, and a compact code that carries a type
// through SQLite function arguments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "eng_ast.h"
#include "engine.h"

namespace mssim {

// Resolves `name(args)` from a column definition. `colno` (1-based) and `colname` go into the
// messages (2715, 2716, 2750, 131, 1001).
type_desc resolve_type(const qname& name, const std::vector<std::u16string>& args, int colno,
                       const std::u16string& colname, bool for_cast = false);

std::u16string type_name(const type_desc& t);  // "int", "nvarchar", "decimal"
std::u16string type_decl(const type_desc& t);  // "nvarchar(50)", "numeric(10,2)", "varbinary(max)"

type_desc make_type(col_type t, int32_t length = 0, int precision = 0, int scale = 0);
type_desc int_type();
type_desc bigint_type();
type_desc bit_type();
type_desc float_type();
type_desc nvarchar_type(int32_t n);  // -1: max
type_desc varchar_type(int32_t n);
type_desc numeric_type(int p, int s);
type_desc datetime_type();

bool is_integer(col_type t);         // tinyint..bigint (not bit)
bool is_exact(col_type t);           // integers, bit, numeric, money
bool is_numeric_family(col_type t);  // exact, real, float
bool is_char(col_type t);            // every character type
bool is_unicode(col_type t);         // nchar, nvarchar, ntext
bool is_binary(col_type t);          // binary, varbinary, image
bool is_temporal(col_type t);        // datetime .. datetime2
bool is_lob(const type_desc& t);     // text, ntext, image and the (max) types
bool is_fixed_len(col_type t);       // char, nchar, binary

// Higher wins in implicit conversions (SQL Server's data type precedence).
int precedence(col_type t);

// The type of a result combining a and b (arithmetic, CASE, UNION): the higher-precedence type,
// with numeric precision/scale and string lengths merged.
type_desc common_type(const type_desc& a, const type_desc& b);

int64_t pack_type(const type_desc& t);
type_desc unpack_type(int64_t code);

// Storage size in bytes of fixed-size types (what type_desc::length holds for them).
int32_t fixed_size(const type_desc& t);
// Maximum size in bytes a value of the type occupies in an index key.
int32_t key_bytes(const type_desc& t);

}  // namespace mssim
