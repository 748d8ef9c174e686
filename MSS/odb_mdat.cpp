#include "odb_mdat.h"

#include <sql.h>
#include <sqlext.h>

#include "odb_diag.h"
#include "odb_rows.h"
#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

odb_column_info column(const char16_t* name, uint16_t type, uint32_t size = 0) {
  odb_column_info c;
  c.name = name;
  c.type = type;
  c.flags = dbcolumnflags::isnullable | dbcolumnflags::maybenull;
  if (size == 0) {
    switch (type) {
      case dbtype::wstr:
        size = 128;
        break;
      case dbtype::guid:
        size = 16;
        break;
      case dbtype::boolean:
      case dbtype::i2:
      case dbtype::ui2:
        size = 2;
        break;
      case dbtype::i4:
      case dbtype::ui4:
        size = 4;
        break;
      case dbtype::ui8:
        size = 8;
        break;
      case dbtype::dbtimestamp:
        size = 16;
        break;
      default:
        break;
    }
  }
  c.column_size = size;
  return c;
}

odb_columns_info numbered(odb_columns_info columns) {
  for (size_t i = 0; i < columns.size(); ++i) columns[i].ordinal = static_cast<uint32_t>(i + 1);
  return columns;
}

std::u16string restriction(const std::vector<ole_variant>& r, size_t i) {
  return i < r.size() && r[i].get_type() == VT_BSTR ? r[i].get_bstr() : std::u16string();
}

// An argument of a catalog function: null when empty (no restriction).
struct arg {
  std::u16string text;
  SQLWCHAR* ptr() { return text.empty() ? nullptr : reinterpret_cast<SQLWCHAR*>(text.data()); }
  SQLSMALLINT len() const { return text.empty() ? 0 : static_cast<SQLSMALLINT>(text.size()); }
};

// The catalog functions take some arguments as LIKE patterns: make an exact name of one.
std::u16string pattern_literal(const std::u16string& name) {
  std::u16string out;
  for (char16_t c : name) {
    if (c == u'_' || c == u'%' || c == u'\\') out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

// Runs one catalog function on a free link and reads all of its rows.
template <class Call>
std::vector<odb_cells> run_catalog(const odb_session& session, Call call) {
  odb_data_source& ds = session.data_source();
  odb_link& link = ds.free_link();
  odb_handle stmt = odb_handle::new_statement(link.dbc);
  odb_check(call(stmt.get()), stmt);
  odb_stmt_rowset rows(session.shared_data_source(), link, std::move(stmt), std::u16string());
  if (!rows.has_result()) return {};
  return odb_memory_rowset::read_all(rows);
}

const std::u16string& text_of(const odb_cells& row, size_t i) {
  static const std::u16string none;
  return i < row.size() && !row[i].is_null ? row[i].text : none;
}

odb_cell copy_of(const odb_cells& row, size_t i) {
  return i < row.size() ? row[i] : odb_cell::null();
}

// Keeps the rows of exactly this name (the server compares names without regard to case).
bool same_name(const odb_cells& row, size_t i, const std::u16string& name) {
  return name.empty() || tk_iequal(text_of(row, i), name);
}

// ODBC's referential action codes as the provider names them.
odb_cell rule_name(const odb_cell& code) {
  if (code.is_null) return code;
  if (code.text == u"0") return odb_cell::of(u"CASCADE");
  if (code.text == u"2") return odb_cell::of(u"SET NULL");
  if (code.text == u"4") return odb_cell::of(u"SET DEFAULT");
  return odb_cell::of(u"NO ACTION");  // 1 (restrict) and 3 (no action)
}

std::vector<odb_cells> primary_key_rows(const odb_session& session, const std::u16string& owner,
                                        const std::u16string& table) {
  if (table.empty()) return {};
  arg o{owner}, t{table};
  std::vector<odb_cells> rows = run_catalog(session, [&](SQLHSTMT h) {
    return SQLPrimaryKeysW(h, nullptr, 0, o.ptr(), o.len(), t.ptr(), t.len());
  });
  std::vector<odb_cells> out;
  for (const odb_cells& r : rows) {
    if (!same_name(r, 2, table) || !same_name(r, 1, owner)) continue;
    out.push_back({copy_of(r, 0), copy_of(r, 1), copy_of(r, 2), copy_of(r, 3), odb_cell::null(),
                   odb_cell::null(), copy_of(r, 4), copy_of(r, 5)});
  }
  return out;
}

std::unique_ptr<odb_rowset> primary_keys(const odb_session& session, const std::u16string& owner,
                                         const std::u16string& table) {
  odb_columns_info columns =
      numbered({column(u"TABLE_CATALOG", dbtype::wstr), column(u"TABLE_SCHEMA", dbtype::wstr),
                column(u"TABLE_NAME", dbtype::wstr), column(u"COLUMN_NAME", dbtype::wstr),
                column(u"COLUMN_GUID", dbtype::guid), column(u"COLUMN_PROPID", dbtype::ui4),
                column(u"ORDINAL", dbtype::ui4), column(u"PK_NAME", dbtype::wstr)});
  return std::make_unique<odb_memory_rowset>(std::move(columns),
                                             primary_key_rows(session, owner, table));
}

std::unique_ptr<odb_rowset> foreign_keys(const odb_session& session, const std::u16string& owner,
                                         const std::u16string& table) {
  odb_columns_info columns =
      numbered({column(u"PK_TABLE_CATALOG", dbtype::wstr), column(u"PK_TABLE_SCHEMA", dbtype::wstr),
                column(u"PK_TABLE_NAME", dbtype::wstr), column(u"PK_COLUMN_NAME", dbtype::wstr),
                column(u"PK_COLUMN_GUID", dbtype::guid), column(u"PK_COLUMN_PROPID", dbtype::ui4),
                column(u"FK_TABLE_CATALOG", dbtype::wstr), column(u"FK_TABLE_SCHEMA", dbtype::wstr),
                column(u"FK_TABLE_NAME", dbtype::wstr), column(u"FK_COLUMN_NAME", dbtype::wstr),
                column(u"FK_COLUMN_GUID", dbtype::guid), column(u"FK_COLUMN_PROPID", dbtype::ui4),
                column(u"ORDINAL", dbtype::ui4), column(u"UPDATE_RULE", dbtype::wstr, 20),
                column(u"DELETE_RULE", dbtype::wstr, 20), column(u"PK_NAME", dbtype::wstr),
                column(u"FK_NAME", dbtype::wstr), column(u"DEFERRABILITY", dbtype::i2)});
  std::vector<odb_cells> out;
  if (!table.empty()) {
    arg o{owner}, t{table};
    std::vector<odb_cells> rows = run_catalog(session, [&](SQLHSTMT h) {
      return SQLForeignKeysW(h, nullptr, 0, o.ptr(), o.len(), t.ptr(), t.len(), nullptr, 0, nullptr,
                             0, nullptr, 0);
    });
    for (const odb_cells& r : rows) {
      if (!same_name(r, 2, table) || !same_name(r, 1, owner)) continue;
      out.push_back({copy_of(r, 0), copy_of(r, 1), copy_of(r, 2), copy_of(r, 3), odb_cell::null(),
                     odb_cell::null(), copy_of(r, 4), copy_of(r, 5), copy_of(r, 6), copy_of(r, 7),
                     odb_cell::null(), odb_cell::null(), copy_of(r, 8), rule_name(copy_of(r, 9)),
                     rule_name(copy_of(r, 10)), copy_of(r, 12), copy_of(r, 11), copy_of(r, 13)});
    }
  }
  return std::make_unique<odb_memory_rowset>(std::move(columns), std::move(out));
}

std::unique_ptr<odb_rowset> indexes(const odb_session& session, const std::u16string& owner,
                                    const std::u16string& table) {
  odb_columns_info columns = numbered({column(u"TABLE_CATALOG", dbtype::wstr),
                                       column(u"TABLE_SCHEMA", dbtype::wstr),
                                       column(u"TABLE_NAME", dbtype::wstr),
                                       column(u"INDEX_CATALOG", dbtype::wstr),
                                       column(u"INDEX_SCHEMA", dbtype::wstr),
                                       column(u"INDEX_NAME", dbtype::wstr),
                                       column(u"PRIMARY_KEY", dbtype::boolean),
                                       column(u"UNIQUE", dbtype::boolean),
                                       column(u"CLUSTERED", dbtype::boolean),
                                       column(u"TYPE", dbtype::ui2),
                                       column(u"FILL_FACTOR", dbtype::i4),
                                       column(u"INITIAL_SIZE", dbtype::i4),
                                       column(u"NULLS", dbtype::i4),
                                       column(u"SORT_BOOKMARKS", dbtype::boolean),
                                       column(u"AUTO_UPDATE", dbtype::boolean),
                                       column(u"NULL_COLLATION", dbtype::i4),
                                       column(u"ORDINAL_POSITION", dbtype::ui4),
                                       column(u"COLUMN_NAME", dbtype::wstr),
                                       column(u"COLUMN_GUID", dbtype::guid),
                                       column(u"COLUMN_PROPID", dbtype::ui4),
                                       column(u"COLLATION", dbtype::i2),
                                       column(u"CARDINALITY", dbtype::ui8),
                                       column(u"PAGES", dbtype::i4),
                                       column(u"FILTER_CONDITION", dbtype::wstr),
                                       column(u"INTEGRATED", dbtype::boolean)});
  std::vector<odb_cells> out;
  if (!table.empty()) {
    // The driver does not say which index holds the primary key: its name does.
    std::vector<odb_cells> key = primary_key_rows(session, owner, table);
    std::u16string key_name = key.empty() ? std::u16string() : text_of(key.front(), 7);
    arg o{owner}, t{table};
    std::vector<odb_cells> rows = run_catalog(session, [&](SQLHSTMT h) {
      return SQLStatisticsW(h, nullptr, 0, o.ptr(), o.len(), t.ptr(), t.len(), SQL_INDEX_ALL,
                            SQL_QUICK);
    });
    auto flag = [](bool on) { return odb_cell::of(on ? u"1" : u"0"); };
    for (const odb_cells& r : rows) {
      // Table statistics come as a row without an index.
      if (text_of(r, 6) == u"0" || r.size() < 9 || r[5].is_null) continue;
      if (!same_name(r, 2, table) || !same_name(r, 1, owner)) continue;
      const std::u16string& index_name = text_of(r, 5);
      const std::u16string& direction = text_of(r, 9);
      out.push_back(
          {copy_of(r, 0),
           copy_of(r, 1),
           copy_of(r, 2),
           copy_of(r, 0),
           copy_of(r, 1),
           copy_of(r, 5),
           flag(!key_name.empty() && index_name == key_name),
           flag(text_of(r, 3) == u"0"),
           flag(text_of(r, 6) == u"1"),
           odb_cell::of(u"1"),
           odb_cell::null(),
           odb_cell::null(),
           odb_cell::null(),
           flag(false),
           flag(true),
           odb_cell::null(),
           copy_of(r, 7),
           copy_of(r, 8),
           odb_cell::null(),
           odb_cell::null(),
           direction.empty() ? odb_cell::null() : odb_cell::of(direction == u"D" ? u"2" : u"1"),
           copy_of(r, 10),
           copy_of(r, 11),
           copy_of(r, 12),
           flag(false)});
    }
  }
  return std::make_unique<odb_memory_rowset>(std::move(columns), std::move(out));
}

std::unique_ptr<odb_rowset> tables(const odb_session& session, const std::u16string& owner,
                                   const std::u16string& type) {
  odb_columns_info columns =
      numbered({column(u"TABLE_CATALOG", dbtype::wstr), column(u"TABLE_SCHEMA", dbtype::wstr),
                column(u"TABLE_NAME", dbtype::wstr), column(u"TABLE_TYPE", dbtype::wstr),
                column(u"TABLE_GUID", dbtype::guid), column(u"DESCRIPTION", dbtype::wstr, 254),
                column(u"TABLE_PROPID", dbtype::ui4), column(u"DATE_CREATED", dbtype::dbtimestamp),
                column(u"DATE_MODIFIED", dbtype::dbtimestamp)});
  arg o{pattern_literal(owner)}, t{type};
  std::vector<odb_cells> rows = run_catalog(session, [&](SQLHSTMT h) {
    return SQLTablesW(h, nullptr, 0, o.ptr(), o.len(), nullptr, 0, t.ptr(), t.len());
  });
  std::vector<odb_cells> out;
  for (const odb_cells& r : rows) {
    if (!same_name(r, 1, owner) || !same_name(r, 3, type)) continue;
    out.push_back({copy_of(r, 0), copy_of(r, 1), copy_of(r, 2), copy_of(r, 3), odb_cell::null(),
                   copy_of(r, 4), odb_cell::null(), odb_cell::null(), odb_cell::null()});
  }
  return std::make_unique<odb_memory_rowset>(std::move(columns), std::move(out));
}

}  // namespace

std::unique_ptr<odb_rowset> odb_get_schema_rowset(const odb_session& session, odb_schema schema,
                                                  const std::vector<ole_variant>& r) {
  switch (schema) {
    case odb_schema::primary_keys:
      return primary_keys(session, restriction(r, 1), restriction(r, 2));
    case odb_schema::foreign_keys:
      return foreign_keys(session, restriction(r, 1), restriction(r, 2));
    case odb_schema::indexes:
      return indexes(session, restriction(r, 1), restriction(r, 4));
    case odb_schema::tables:
      return tables(session, restriction(r, 1), restriction(r, 3));
  }
  throw tk_mail_assertion("..\\MSS/odb_mdat", __LINE__);
}

odb_pk_meta_data::odb_pk_meta_data(const odb_session& session, const std::u16string& table,
                                   const std::u16string& owner)
    : odb_meta_data(session) {
  if (!owner.empty()) restrict(1, owner);
  restrict(2, table);
  internal_initialize();
}

odb_fk_meta_data::odb_fk_meta_data(const odb_session& session, const std::u16string& table,
                                   const std::u16string& owner)
    : odb_meta_data(session) {
  if (!owner.empty()) restrict(1, owner);
  restrict(2, table);
  internal_initialize();
}

odb_id_meta_data::odb_id_meta_data(const odb_session& session, const std::u16string& table,
                                   const std::u16string& owner)
    : odb_meta_data(session) {
  if (!owner.empty()) restrict(1, owner);
  restrict(4, table);
  internal_initialize();
}

odb_tl_meta_data::odb_tl_meta_data(const odb_session& session, const std::u16string& owner)
    : odb_meta_data(session) {
  if (!owner.empty()) restrict(1, owner);
  restrict(3, u"TABLE");
  internal_initialize();
}
