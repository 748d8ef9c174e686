// Message catalogue. Texts are SQL Server's templates with %1, %2, ... for the insertions.
#include "eng_errors.h"

#include <cstring>

#include "eng_util.h"

namespace mssim {
namespace {

enum flags { none = 0, abort_ = 1, term = 2 };

struct entry {
  int number;
  int cls;
  int state;
  int flags;
  const char* text;
};

const entry catalogue[] = {
    {102, 15, 1, abort_, "Incorrect syntax near '%1'."},
    {113, 15, 1, abort_, "Missing end comment mark '*/'."},
    {235, 16, 0, abort_,
     "Cannot convert a char value to money. The char value has incorrect syntax."},
    {517, 16, 3, term, "Adding a value to a 'datetime' column caused an overflow."},
    {529, 16, 2, abort_, "Explicit conversion from data type %1 to %2 is not allowed."},
    {535, 16, 0, term,
     "The datediff function resulted in an overflow. The number of dateparts separating two "
     "date/time instances is too large. Try to use datediff with a less precise datepart."},
    {536, 16, 1, term, "Invalid length parameter passed to the %1 function."},
    {537, 16, 3, term, "Invalid length parameter passed to the LEFT or SUBSTRING function."},
    {1001, 15, 1, abort_, "Line %1: Length or precision specification %2 is invalid."},
    {1002, 15, 1, abort_, "Line %1: Specified scale %2 is invalid."},
    {2751, 16, 1, none,
     "Column or parameter #%1: Specified column scale %2 is greater than the specified precision "
     "of %3."},
    {3623, 16, 1, term, "An invalid floating point operation occurred."},
    {3708, 16, 1, none, "Cannot drop the database '%1' because it is a system database."},
    {50000, 16, 1, none, "%1"},
    {104, 15, 1, abort_,
     "ORDER BY items must appear in the select list if the statement contains a UNION, INTERSECT "
     "or EXCEPT operator."},
    {108, 15, 1, abort_,
     "The ORDER BY position number %1 is out of range of the number of items in the select list."},
    {130, 16, 1, abort_,
     "Cannot perform an aggregate function on an expression containing an aggregate or a "
     "subquery."},
    {141, 15, 1, abort_,
     "A SELECT statement that assigns a value to a variable must not be combined with "
     "data-retrieval operations."},
    {144, 15, 1, abort_,
     "Cannot use an aggregate or a subquery in an expression used for the group by list of a GROUP "
     "BY clause."},
    {147, 15, 1, abort_,
     "An aggregate may not appear in the WHERE clause unless it is in a subquery contained in a "
     "HAVING clause or a select list, and the column being aggregated is an outer reference."},
    {164, 15, 1, abort_,
     "Each GROUP BY expression must contain at least one column that is not an outer reference."},
    {196, 15, 1, abort_,
     "SELECT INTO must be the first query in a statement containing a UNION, INTERSECT or EXCEPT "
     "operator."},
    {205, 16, 1, abort_,
     "All queries combined using a UNION, INTERSECT or EXCEPT operator must have an equal number "
     "of expressions in their target lists."},
    {226, 16, 6, none, "%1 statement not allowed within multi-statement transaction."},
    {263, 16, 1, abort_, "Must specify table to select from."},
    {408, 16, 1, abort_,
     "A constant expression was encountered in the ORDER BY list, position %1."},
    {120, 15, 1, abort_,
     "The select list for the INSERT statement contains fewer items than the insert list. The "
     "number of SELECT values must match the number of INSERT columns."},
    {121, 15, 1, abort_,
     "The select list for the INSERT statement contains more items than the insert list. The "
     "number of SELECT values must match the number of INSERT columns."},
    {157, 15, 1, abort_, "An aggregate may not appear in the set list of an UPDATE statement."},
    {166, 15, 1, abort_,
     "'CREATE VIEW' does not allow specifying the database name as a prefix to the object name."},
    {1909, 16, 1, none,
     "Cannot use duplicate column names in index. Column name '%1' listed more than once."},
    {1939, 16, 1, none, "Cannot create index on view '%2' because the view is not schema bound."},
    {3723, 16, 4, none,
     "An explicit DROP INDEX is not allowed on index '%1'. It is being used for %2 constraint "
     "enforcement."},
    {3725, 16, 0, none,
     "The constraint '%1' is being referenced by table '%2', foreign key constraint '%3'."},
    {4916, 16, 1, none, "Cannot alter '%1' because it is not a table."},
    {4917, 16, 0, none, "Constraint '%1' does not exist."},
    {4923, 16, 1, none,
     "ALTER TABLE DROP COLUMN failed because '%1' is the only data column in table '%2'. A table "
     "must have at least one data column."},
    {4924, 16, 1, none,
     "ALTER TABLE DROP COLUMN failed because column '%1' does not exist in table '%2'."},
    {8159, 16, 1, abort_, "'%1' has fewer columns than were specified in the column list."},
    {4891, 16, 1, term, "Insert bulk failed due to a schema change of the target table."},
    {8144, 16, 4, none, "Procedure or function %1 has too many arguments specified."},
    {628, 16, 0, none, "Cannot issue SAVE TRANSACTION when there is no active transaction."},
    {2741, 16, 1, none, "SET DATEFORMAT date order is invalid."},
    {1011, 16, 1, abort_,
     "The correlation name '%1' is specified multiple times in a FROM clause."},
    {1023, 15, 1, abort_, "Invalid parameter %1 specified for %2."},
    {1060, 15, 1, abort_,
     "The number of rows provided for a TOP or FETCH clauses row count parameter must be an "
     "integer."},
    {1222, 16, 45, term, "Lock request time out period exceeded."},
    {2601, 14, 1, term, "Cannot insert duplicate key row in object '%1' with unique index '%2'.%3"},
    {2627, 14, 1, term,
     "Violation of %1 constraint '%2'. Cannot insert duplicate key in object '%3'.%4"},
    {4127, 16, 1, abort_,
     "At least one of the arguments to COALESCE must be an expression that is not the NULL "
     "constant."},
    {4405, 16, 1, term,
     "View or function '%1' is not updatable because the modification affects multiple base "
     "tables."},
    {4511, 16, 1, none,
     "Create View or Function failed because no column name was specified for column %1."},
    {4901, 16, 1, none,
     "ALTER TABLE only allows columns to be added that can contain nulls, or have a DEFAULT "
     "definition specified, or the column being added is an identity or timestamp column, or "
     "alternatively if none of the previous conditions are satisfied the table must be empty to "
     "allow addition of this column. Column '%1' cannot be added to non-empty table '%2' because "
     "it does not satisfy these conditions."},
    {4922, 16, 9, none,
     "ALTER TABLE DROP COLUMN %1 failed because one or more objects access this column."},
    {5069, 16, 1, none, "ALTER TABLE statement failed."},
    {5074, 16, 1, none, "The %1 '%2' is dependent on column '%3'."},
    {6401, 16, 1, none, "Cannot roll back %1. No transaction or savepoint of that name was found."},
    {8139, 16, 0, none,
     "Number of referencing columns in foreign key differs from number of referenced columns, "
     "table '%1'."},
    {8158, 16, 1, abort_, "'%1' has more columns than were specified in the column list."},
    {9810, 16, 1, abort_, "The datepart %1 is not supported by date function %2 for data type %3."},

    {103, 15, 4, abort_,
     "The identifier that starts with '%1' is too long. Maximum length is 128."},
    {105, 15, 1, abort_, "Unclosed quotation mark after the character string '%1'."},
    {109, 15, 1, abort_,
     "There are more columns in the INSERT statement than values specified in the VALUES clause. "
     "The number of values in the VALUES clause must match the number of columns specified in the "
     "INSERT statement."},
    {110, 15, 1, abort_,
     "There are fewer columns in the INSERT statement than values specified in the VALUES clause. "
     "The number of values in the VALUES clause must match the number of columns specified in the "
     "INSERT statement."},
    {111, 15, 1, abort_, "'%1' must be the first statement in a query batch."},
    {116, 16, 1, abort_,
     "Only one expression can be specified in the select list when the subquery is not introduced "
     "with EXISTS."},
    {128, 15, 1, abort_,
     "The name \"%1\" is not permitted in this context. Valid expressions are constants, constant "
     "expressions, and (in some contexts) variables. Column names are not permitted."},
    {131, 15, 2, abort_,
     "The size (%1) given to the %2 '%3' exceeds the maximum allowed for any data type (%4)."},
    {134, 15, 1, abort_,
     "The variable name '%1' has already been declared. Variable names must be unique within a "
     "query batch or stored procedure."},
    {137, 15, 2, abort_, "Must declare the scalar variable \"%1\"."},
    {145, 15, 1, abort_,
     "ORDER BY items must appear in the select list if SELECT DISTINCT is specified."},
    {155, 15, 1, abort_, "'%1' is not a recognized %2 option."},
    {156, 15, 1, abort_, "Incorrect syntax near the keyword '%1'."},
    {174, 15, 1, abort_, "The %1 function requires %2 argument(s)."},
    {189, 15, 1, abort_, "The %1 function requires %2 to %3 arguments."},
    {195, 15, 10, abort_, "'%1' is not a recognized %2."},
    {201, 16, 4, none,
     "Procedure or function '%1' expects parameter '%2', which was not supplied."},
    {206, 16, 2, abort_, "Operand type clash: %1 is incompatible with %2"},
    {207, 16, 1, abort_, "Invalid column name '%1'."},
    {208, 16, 1, abort_, "Invalid object name '%1'."},
    {209, 16, 1, abort_, "Ambiguous column name '%1'."},
    {213, 16, 1, abort_,
     "Column name or number of supplied values does not match table definition."},
    {214, 16, 2, none, "Procedure expects parameter '%1' of type '%2'."},
    {220, 16, 2, term, "Arithmetic overflow error for data type %1, value = %2."},
    {241, 16, 1, abort_,
     "Conversion failed when converting date and/or time from character string."},
    {242, 16, 3, term,
     "The conversion of a %1 data type to a %2 data type resulted in an out-of-range value."},
    {244, 16, 1, term,
     "The conversion of the %1 value '%2' overflowed an %3 column. Use a larger integer column."},
    {245, 16, 1, abort_, "Conversion failed when converting the %1 value '%2' to data type %3."},
    {248, 16, 1, term, "The conversion of the %1 value '%2' overflowed an int column."},
    {257, 16, 3, abort_,
     "Implicit conversion from data type %1 to %2 is not allowed. Use the CONVERT function to run "
     "this query."},
    {264, 16, 1, abort_,
     "The column name '%1' is specified more than once in the SET clause or column list of an "
     "INSERT. A column cannot be assigned more than one value in the same clause. Modify the "
     "clause "
     "to make sure that a column is updated only once. If this statement updates or inserts "
     "columns into a view, column aliasing can conceal the duplication in your code."},
    {306, 16, 2, abort_,
     "The text, ntext, and image data types cannot be compared or sorted, except when using IS "
     "NULL or LIKE operator."},
    {402, 16, 1, abort_, "The data types %1 and %2 are incompatible in the %3 operator."},
    {512, 16, 1, term,
     "Subquery returned more than 1 value. This is not permitted when the subquery follows =, !=, "
     "<, <= , >, >= or when the subquery is used as an expression."},
    {515, 16, 2, term,
     "Cannot insert the value NULL into column '%1', table '%2'; column does not allow nulls. %3 "
     "fails."},
    {544, 16, 1, term,
     "Cannot insert explicit value for identity column in table '%1' when IDENTITY_INSERT is set "
     "to OFF."},
    {545, 16, 1, term,
     "Explicit value must be specified for identity column in table '%1' either when "
     "IDENTITY_INSERT is set to ON or when a replication user is inserting into a NOT FOR "
     "REPLICATION identity column."},
    {547, 16, 0, term,
     "The %1 statement conflicted with the %2 constraint \"%3\". The conflict occurred in database "
     "\"%4\", table \"%5\"%6."},
    {911, 16, 1, none,
     "Database '%1' does not exist. Make sure that the name is entered correctly."},
    {1013, 16, 1, abort_,
     "The objects \"%1\" and \"%2\" in the FROM clause have the same exposed names. Use "
     "correlation "
     "names to distinguish them."},
    {1033, 15, 1, abort_,
     "The ORDER BY clause is invalid in views, inline functions, derived tables, subqueries, and "
     "common table expressions, unless TOP, OFFSET or FOR XML is also specified."},
    {1038, 15, 4, abort_,
     "An object or column name is missing or empty. For SELECT INTO statements, verify each column "
     "has a name. For other statements, look for empty alias names. Aliases defined as \"\" or [] "
     "are not allowed. Change the alias to a valid name."},
    {1088, 16, 12, none,
     "Cannot find the object \"%1\" because it does not exist or you do not have permissions."},
    {1505, 16, 1, term,
     "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the "
     "object name '%1' and the index name '%2'. The duplicate key value is %3."},
    {1750, 16, 0, none, "Could not create constraint or index. See previous errors."},
    {1752, 16, 0, none, "Column '%1' in table '%2' is invalid for creating a default constraint."},
    {1754, 16, 0, none,
     "Defaults cannot be created on columns with an IDENTITY attribute. Table '%1', column '%2'."},
    {1761, 16, 0, none,
     "Cannot create the foreign key \"%1\" with the SET NULL referential action, because one or "
     "more referencing columns are not nullable."},
    {1762, 16, 0, none,
     "Cannot create the foreign key \"%1\" with the SET DEFAULT referential action, because one or "
     "more referencing not-nullable columns lack a default constraint."},
    {1763, 16, 0, none,
     "Cross-database foreign key references are not supported. Foreign key '%1'."},
    {1767, 16, 0, none, "Foreign key '%1' references invalid table '%2'."},
    {1769, 16, 1, none,
     "Foreign key '%1' references invalid column '%2' in referencing table '%3'."},
    {1770, 16, 0, none,
     "Foreign key '%1' references invalid column '%2' in referenced table '%3'."},
    {1776, 16, 0, none,
     "There are no primary or candidate keys in the referenced table '%1' that match the "
     "referencing column list in the foreign key '%2'."},
    {1778, 16, 0, none,
     "Column '%1' is not the same data type as referencing column '%2' in foreign key '%3'."},
    {1779, 16, 0, none, "Table '%1' already has a primary key defined on it."},
    {1781, 16, 0, none, "Column already has a DEFAULT bound to it."},
    {1785, 16, 0, none,
     "Introducing FOREIGN KEY constraint '%1' on table '%2' may cause cycles or multiple cascade "
     "paths. Specify ON DELETE NO ACTION or ON UPDATE NO ACTION, or modify other FOREIGN KEY "
     "constraints."},
    {1801, 16, 3, none, "Database '%1' already exists. Choose a different database name."},
    {1902, 16, 3, none,
     "Cannot create more than one clustered index on %1 '%2'. Drop the existing clustered index "
     "'%3' before creating another."},
    {1904, 16, 1, none,
     "The index '%1' on table '%2' has %3 column names in index key list. The maximum limit for "
     "index or statistics key column list is %4."},
    {1911, 16, 1, none, "Column name '%1' does not exist in the target table or view."},
    {1913, 16, 1, none,
     "The operation failed because an index or statistics with name '%1' already exists on table "
     "'%2'."},
    {1919, 16, 1, none,
     "Column '%1' in table '%2' is of a type that is invalid for use as a key column in an index."},
    {1944, 16, 1, none,
     "Index '%1' was not created. This index has a key length of at least %2 bytes. The maximum "
     "permissible key length is %3 bytes."},
    {1945, 10, 1, none,
     "Warning! The maximum key length is %1 bytes. The index '%2' has maximum length of %3 bytes. "
     "For some combination of large values, the insert/update operation will fail."},
    {1946, 16, 1, term,
     "Operation failed. The index entry of length %1 bytes for the index '%2' exceeds the maximum "
     "length of %3 bytes."},
    {2705, 16, 3, none,
     "Column names in each table must be unique. Column name '%1' in table '%2' is specified more "
     "than once."},
    {2714, 16, 6, none, "There is already an object named '%1' in the database."},
    {2715, 16, 6, none, "Column, parameter, or variable #%1: Cannot find data type %2."},
    {2716, 16, 1, none,
     "Column, parameter, or variable #%1: Cannot specify a column width on data type %2."},
    {2727, 11, 1, none, "Cannot find index '%1'."},
    {2744, 16, 2, none,
     "Multiple identity columns specified for table '%1'. Only one identity column per table is "
     "allowed."},
    {2749, 16, 2, none,
     "Identity column '%1' must be of data type int, bigint, smallint, tinyint, or decimal or "
     "numeric with a scale of 0, and constrained to be nonnullable."},
    {2750, 16, 1, none,
     "Column or parameter #%1: Specified column precision %2 is greater than the maximum precision "
     "of 38."},
    {2760, 16, 1, none,
     "The specified schema name \"%1\" either does not exist or you do not have permission to use "
     "it."},
    {2812, 16, 62, none, "Could not find stored procedure '%1'."},
    {3701, 11, 5, none,
     "Cannot drop the %1 '%2', because it does not exist or you do not have permission."},
    {3702, 16, 4, none, "Cannot drop database \"%1\" because it is currently in use."},
    {3726, 16, 1, none,
     "Could not drop object '%1' because it is referenced by a FOREIGN KEY constraint."},
    {3727, 16, 0, none, "Could not drop constraint. See previous errors."},
    {3728, 16, 1, none, "'%1' is not a constraint."},
    {3902, 16, 1, none, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."},
    {3903, 16, 1, none, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."},
    {3621, 10, 0, none, "The statement has been terminated."},
    {4060, 11, 1, none, "Cannot open database \"%1\" requested by the login. The login failed."},
    {4104, 16, 1, abort_, "The multi-part identifier \"%1\" could not be bound."},
    {4121, 16, 1, abort_,
     "Cannot find either column \"%1\" or the user-defined function or aggregate \"%2\", or the "
     "name is ambiguous."},
    {4145, 15, 1, abort_,
     "An expression of non-boolean type specified in a context where a condition is expected, "
     "near '%1'."},
    {4413, 16, 1, abort_, "Could not use view or function '%1' because of binding errors."},
    {4506, 16, 1, none,
     "Column names in each view or function must be unique. Column name '%1' in view or function "
     "'%2' is specified more than once."},
    {4701, 16, 1, none,
     "Cannot find the object \"%1\" because it does not exist or you do not have permissions."},
    {4712, 16, 1, none,
     "Cannot truncate table '%1' because it is being referenced by a FOREIGN KEY constraint."},
    {4815, 16, 1, term, "Received an invalid column length from the bcp client for colid %1."},
    {4816, 16, 1, term, "Invalid column type from bcp client for colid %1."},
    {4896, 16, 1, term, "Invalid column value from bcp client for colid %1."},
    {4902, 16, 1, none,
     "Cannot find the object \"%1\" because it does not exist or you do not have permissions."},
    {8101, 16, 1, term,
     "An explicit value for the identity column in table '%1' can only be specified when a column "
     "list is used and IDENTITY_INSERT is ON."},
    {8102, 16, 1, term, "Cannot update identity column '%1'."},
    {8106, 16, 1, none,
     "Table '%1' does not have the identity property. Cannot perform SET operation."},
    {8107, 16, 1, none,
     "IDENTITY_INSERT is already ON for table '%1'. Cannot perform SET operation for table '%2'."},
    {8111, 16, 0, none, "Cannot define PRIMARY KEY constraint on nullable column in table '%1'."},
    {8114, 16, 5, abort_, "Error converting data type %1 to %2."},
    {8115, 16, 2, term, "Arithmetic overflow error converting %1 to data type %2."},
    {8116, 16, 1, abort_, "Argument data type %1 is invalid for argument %2 of %3 function."},
    {8117, 16, 1, abort_, "Operand data type %1 is invalid for %2 operator."},
    {8120, 16, 1, abort_,
     "Column '%1' is invalid in the select list because it is not contained in either an aggregate "
     "function or the GROUP BY clause."},
    {8121, 16, 1, abort_,
     "Column '%1' is invalid in the HAVING clause because it is not contained in either an "
     "aggregate function or the GROUP BY clause."},
    {8127, 16, 1, abort_,
     "Column \"%1\" is invalid in the ORDER BY clause because it is not contained in either an "
     "aggregate function or the GROUP BY clause."},
    {8134, 16, 1, abort_, "Divide by zero error encountered."},
    {8145, 16, 2, none, "%1 is not a parameter for procedure %2."},
    {8147, 16, 1, none, "Could not create IDENTITY attribute on nullable column '%1', table '%2'."},
    {8152, 16, 14, term, "String or binary data would be truncated."},
    {8155, 16, 2, abort_, "No column name was specified for column %1 of '%2'."},
    {8156, 16, 1, abort_, "The column '%1' was specified multiple times for '%2'."},
    {8169, 16, 2, abort_,
     "Conversion failed when converting from a character string to uniqueidentifier."},
    {8178, 16, 1, none,
     "The parameterized query '%1' expects the parameter '%2', which was not supplied."},
    {15250, 16, 1, none,
     "The database name component of the object qualifier must be the name of the current "
     "database."},
    {15252, 16, 1, none, "Primary or foreign key table name must be given."},
};

const entry* find(int number) {
  for (const auto& e : catalogue)
    if (e.number == number) return &e;
  return nullptr;
}

}  // namespace

std::u16string message_text(int number, const std::vector<std::u16string>& args) {
  const entry* e = find(number);
  if (!e) return u"Unknown error " + num(number) + u".";
  std::u16string out;
  for (const char* p = e->text; *p; ++p) {
    if (*p == '%' && p[1] >= '1' && p[1] <= '9') {
      size_t k = size_t(p[1] - '1');
      if (k < args.size()) out += args[k];
      ++p;
    } else {
      // Texts are ASCII; keep the loop simple.
      out += char16_t(static_cast<unsigned char>(*p));
    }
  }
  return out;
}

sql_error::sql_error(int number, std::vector<std::u16string> args, int state) {
  const entry* e = find(number);
  msg.number = number;
  msg.cls = uint8_t(e ? e->cls : 16);
  msg.state = uint8_t(state >= 0 ? state : (e ? e->state : 1));
  msg.text = message_text(number, args);
  abort_batch = e && (e->flags & abort_);
  terminated = e && (e->flags & term);
  utf8_ = "Msg " + std::to_string(number) + ": " + to_utf8(msg.text);
}

// \x01 N \x02 state \x02 text: what a SQLite callback hands back through sqlite3_result_error.
std::string encode_for_sqlite(const sql_error& e) {
  return "\x01" + std::to_string(e.msg.number) + "\x02" + std::to_string(e.msg.state) + "\x02" +
         to_utf8(e.msg.text);
}

bool decode_sqlite_error(const char* text, sql_error& out) {
  if (!text) return false;
  const char* p = std::strchr(text, '\x01');
  if (!p) return false;
  ++p;
  int number = std::atoi(p);
  const char* s = std::strchr(p, '\x02');
  if (!s) return false;
  int state = std::atoi(s + 1);
  const char* t = std::strchr(s + 1, '\x02');
  if (!t) return false;
  out = sql_error(number, {}, state);
  out.msg.text = from_utf8(t + 1);
  return true;
}

}  // namespace mssim
