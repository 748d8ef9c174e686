#include "odb_rows.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>

#include "odb_diag.h"
#include "odb_exce.h"
#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

// The driver's own type codes for SQL Server types that ODBC has no name for.
namespace {
constexpr int sql_ss_variant = -150;
constexpr int sql_ss_xml = -152;
constexpr int sql_ss_time2 = -154;
constexpr int sql_ss_timestampoffset = -155;

// A declared size at or beyond this (or 0) is a column without a declared limit: text, ntext,
// image and the (max) types.
constexpr uint64_t long_size = 0x3FFFFFFF;

uint32_t clamp32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }
}  // namespace

odb_column_shape odb_shape_of(int sql_type, const std::u16string& type_name, uint64_t column_size,
                              int decimal_digits) {
  auto fixed = [](uint16_t type, uint32_t size) {
    return odb_column_shape{type, size, 0, 0, false};
  };
  auto variable = [&](uint16_t type, bool always_long) {
    bool is_long = always_long || column_size == 0 || column_size >= long_size;
    uint32_t size = column_size == 0 ? 0xFFFFFFFFu : clamp32(column_size);
    return odb_column_shape{type, size, 0, 0, is_long};
  };
  switch (sql_type) {
    case SQL_SMALLINT:
      return fixed(dbtype::i2, 2);
    case SQL_INTEGER:
      return fixed(dbtype::i4, 4);
    case SQL_REAL:
      return fixed(dbtype::r4, 4);
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return fixed(dbtype::r8, 8);
    case SQL_BIT:
      return fixed(dbtype::boolean, 2);
    case SQL_TINYINT:  // SQL Server's tinyint is unsigned
      return fixed(dbtype::ui1, 1);
    case SQL_BIGINT:
      return fixed(dbtype::i8, 8);
    case SQL_NUMERIC:
    case SQL_DECIMAL: {
      std::u16string name = tk_to_lower(type_name);
      if (name.rfind(u"money", 0) == 0 || name.rfind(u"smallmoney", 0) == 0)
        return fixed(dbtype::cy, 8);
      return odb_column_shape{dbtype::numeric, 19,
                              static_cast<uint8_t>(std::min<uint64_t>(column_size, 38)),
                              static_cast<uint8_t>(std::clamp(decimal_digits, 0, 38)), false};
    }
    case SQL_DATETIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
      return odb_column_shape{dbtype::dbtimestamp, 16, 23, 3, false};
    case SQL_TYPE_TIME:
    case sql_ss_time2:
    case sql_ss_timestampoffset:
      // Types the provider did not know reach it as text of their printed width.
      return fixed(dbtype::wstr, clamp32(column_size));
    case SQL_CHAR:
    case SQL_VARCHAR:
      return variable(dbtype::str, false);
    case SQL_LONGVARCHAR:
      return variable(dbtype::str, true);
    case SQL_WCHAR:
    case SQL_WVARCHAR:
      return variable(dbtype::wstr, false);
    case SQL_WLONGVARCHAR:
    case sql_ss_xml:
      return variable(dbtype::wstr, true);
    case SQL_BINARY:
    case SQL_VARBINARY:
      return variable(dbtype::bytes, false);
    case SQL_LONGVARBINARY:
      return variable(dbtype::bytes, true);
    case SQL_GUID:
      return fixed(dbtype::guid, 16);
    case sql_ss_variant:
    default:
      return fixed(dbtype::variant, clamp32(column_size));
  }
}

// ---------------------------------------------------------------------------------------------

odb_stmt_rowset::odb_stmt_rowset(std::shared_ptr<odb_data_source> data_source, odb_link& link,
                                 odb_handle stmt, std::u16string restart_text)
    : data_source_(std::move(data_source)),
      link_(&link),
      stmt_(std::move(stmt)),
      restart_text_(std::move(restart_text)) {
  link_->busy_with = this;
  pending_ = true;
  has_result_ = find_result();
}

odb_stmt_rowset::~odb_stmt_rowset() {
  if (pending_ && stmt_) SQLFreeStmt(stmt_.get(), SQL_CLOSE);
  if (link_ && link_->busy_with == this) link_->busy_with = nullptr;
}

bool odb_stmt_rowset::find_result() {
  for (;;) {
    SQLSMALLINT count = 0;
    odb_check(SQLNumResultCols(stmt_.get(), &count), stmt_);
    if (count > 0) {
      describe();
      return true;
    }
    SQLRETURN rc;
    try {
      rc = odb_check(SQLMoreResults(stmt_.get()), stmt_);
    } catch (const odb_exception&) {
      close();
      throw;
    }
    if (rc == SQL_NO_DATA) {
      pending_ = false;
      if (link_->busy_with == this) link_->busy_with = nullptr;
      return false;
    }
  }
}

void odb_stmt_rowset::describe() {
  columns_.clear();
  SQLSMALLINT count = 0;
  odb_check(SQLNumResultCols(stmt_.get(), &count), stmt_);
  for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
    SQLWCHAR name[256] = {0};
    SQLSMALLINT name_length = 0, data_type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    odb_check(SQLDescribeColW(stmt_.get(), i, name, 256, &name_length, &data_type, &size, &digits,
                              &nullable),
              stmt_);
    SQLWCHAR type_name[128] = {0};
    SQLSMALLINT type_name_length = 0;
    odb_check(SQLColAttributeW(stmt_.get(), i, SQL_DESC_TYPE_NAME, type_name, sizeof type_name,
                               &type_name_length, nullptr),
              stmt_);
    odb_column_info c;
    for (int k = 0; k < name_length && k < 255 && name[k]; ++k)
      c.name.push_back(static_cast<char16_t>(name[k]));
    std::u16string tname;
    for (int k = 0; k < 127 && type_name[k]; ++k)
      tname.push_back(static_cast<char16_t>(type_name[k]));
    odb_column_shape shape = odb_shape_of(data_type, tname, size, digits);
    c.ordinal = i;
    c.type = shape.type;
    c.column_size = shape.column_size;
    c.precision = shape.precision;
    c.scale = shape.scale;
    if (nullable == SQL_NULLABLE) c.flags |= dbcolumnflags::isnullable | dbcolumnflags::maybenull;
    if (nullable == SQL_NULLABLE_UNKNOWN) c.flags |= dbcolumnflags::maybenull;
    if (shape.is_long) c.flags |= dbcolumnflags::islong;
    if (!shape.is_long && shape.type != dbtype::str && shape.type != dbtype::wstr &&
        shape.type != dbtype::bytes)
      c.flags |= dbcolumnflags::isfixedlength;
    columns_.push_back(std::move(c));
  }
}

void odb_stmt_rowset::close() {
  if (pending_) SQLFreeStmt(stmt_.get(), SQL_CLOSE);
  pending_ = false;
  on_row_ = false;
  if (link_ && link_->busy_with == this) link_->busy_with = nullptr;
}

void odb_stmt_rowset::finish() {
  // The rows are read: consume what follows them (counts, further results, late errors) so that
  // the link is free for the next statement.
  try {
    while (odb_check(SQLMoreResults(stmt_.get()), stmt_) != SQL_NO_DATA) {
    }
  } catch (const odb_exception&) {
    close();
    throw;
  }
  close();
}

void odb_stmt_rowset::defer_rows() {
  if (restart_text_.empty()) throw tk_mail_assertion("odb_rows", __LINE__);
  close();
  deferred_ = true;
}

bool odb_stmt_rowset::fetch() {
  on_row_ = false;
  if (deferred_) restart();
  if (!pending_) return false;
  SQLRETURN rc;
  try {
    rc = odb_check(SQLFetch(stmt_.get()), stmt_);
  } catch (const odb_exception&) {
    close();
    throw;
  }
  if (rc == SQL_NO_DATA) {
    finish();
    return false;
  }
  on_row_ = true;
  return true;
}

void odb_stmt_rowset::restart() {
  if (restart_text_.empty()) throw tk_mail_assertion("odb_rows", __LINE__);
  close();
  if (link_->busy_with) {
    // Another statement's rows now occupy our link: run on a free one.
    link_ = &data_source_->free_link();
    stmt_ = odb_handle::new_statement(link_->dbc);
  }
  deferred_ = false;
  std::u16string text = restart_text_;
  odb_check(SQLExecDirectW(stmt_.get(), reinterpret_cast<SQLWCHAR*>(text.data()),
                           static_cast<SQLINTEGER>(text.size())),
            stmt_);
  link_->busy_with = this;
  pending_ = true;
  has_result_ = find_result();
}

bool odb_stmt_rowset::get_data(size_t index, bool as_bytes, uint8_t* slot, size_t capacity,
                               uint32_t& length, std::vector<uint8_t>& overflow) {
  if (!on_row_) throw tk_mail_assertion("odb_rows", __LINE__);
  overflow.clear();
  length = 0;
  const SQLSMALLINT ctype = as_bytes ? SQL_C_BINARY : SQL_C_WCHAR;
  const size_t terminator = as_bytes ? 0 : sizeof(SQLWCHAR);
  const auto column = static_cast<SQLUSMALLINT>(index + 1);
  SQLLEN indicator = 0;
  SQLRETURN rc = odb_check(
      SQLGetData(stmt_.get(), column, ctype, slot, static_cast<SQLLEN>(capacity), &indicator),
      stmt_);
  if (rc == SQL_NO_DATA || indicator == SQL_NULL_DATA) return false;
  if (rc == SQL_SUCCESS) {
    length = clamp32(static_cast<uint64_t>(indicator));
    return true;
  }
  // Truncated: the value is longer than the slot. Keep what came and read the rest in pieces.
  size_t got = capacity >= terminator ? ((capacity - terminator) & ~size_t(as_bytes ? 0 : 1)) : 0;
  overflow.assign(slot, slot + got);
  std::vector<uint8_t> piece(1 << 16);
  for (;;) {
    rc = odb_check(SQLGetData(stmt_.get(), column, ctype, piece.data(),
                              static_cast<SQLLEN>(piece.size()), &indicator),
                   stmt_);
    if (rc == SQL_NO_DATA) break;
    size_t n = (rc == SQL_SUCCESS && indicator != SQL_NO_TOTAL) ? static_cast<size_t>(indicator)
                                                                : (piece.size() - terminator);
    overflow.insert(overflow.end(), piece.begin(), piece.begin() + static_cast<long>(n));
    if (rc == SQL_SUCCESS) break;
  }
  length = clamp32(overflow.size());
  return true;
}

// ---------------------------------------------------------------------------------------------

odb_memory_rowset::odb_memory_rowset(odb_columns_info columns, std::vector<odb_cells> rows)
    : rows_(std::move(rows)) {
  columns_ = std::move(columns);
}

std::vector<odb_cells> odb_memory_rowset::read_all(odb_rowset& source) {
  std::vector<odb_cells> rows;
  std::vector<uint8_t> slot(512), overflow;
  while (source.fetch()) {
    odb_cells row;
    for (size_t i = 0; i < source.columns().size(); ++i) {
      bool as_bytes = source.columns()[i].type == dbtype::bytes;
      uint32_t length = 0;
      if (!source.get_data(i, as_bytes, slot.data(), slot.size(), length, overflow)) {
        row.push_back(odb_cell::null());
        continue;
      }
      const uint8_t* data = overflow.empty() ? slot.data() : overflow.data();
      if (as_bytes) {
        row.push_back(odb_cell::of_bytes(std::string(reinterpret_cast<const char*>(data), length)));
      } else {
        std::u16string text(length / 2, u'\0');
        std::memcpy(text.data(), data, text.size() * 2);
        row.push_back(odb_cell::of(std::move(text)));
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

bool odb_memory_rowset::fetch() {
  if (next_ >= rows_.size()) return false;
  ++next_;
  return true;
}

bool odb_memory_rowset::get_data(size_t index, bool as_bytes, uint8_t* slot, size_t capacity,
                                 uint32_t& length, std::vector<uint8_t>& overflow) {
  if (next_ == 0 || index >= columns_.size()) throw tk_mail_assertion("odb_rows", __LINE__);
  overflow.clear();
  const odb_cells& row = rows_[next_ - 1];
  if (index >= row.size() || row[index].is_null) return false;
  const odb_cell& cell = row[index];
  const uint8_t* data;
  size_t size;
  if (as_bytes) {
    data = reinterpret_cast<const uint8_t*>(cell.bytes.data());
    size = cell.bytes.size();
  } else {
    data = reinterpret_cast<const uint8_t*>(cell.text.data());
    size = cell.text.size() * 2;
  }
  length = clamp32(size);
  size_t terminator = as_bytes ? 0 : 2;
  if (size + terminator <= capacity) {
    if (size) std::memcpy(slot, data, size);
    if (terminator) std::memset(slot + size, 0, terminator);
  } else {
    overflow.assign(data, data + size);
  }
  return true;
}
