#include "udb_db.h"

#include <algorithm>

#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {
constexpr const char* source_name = "udb_db";
}

udb_database::udb_database(udb_engine* engine, const std::u16string& name, int32_t mode,
                           bool case_sensitive)
    : engine(engine), name(name), case_sensitive(case_sensitive), mode(mode) {}

udb_database::~udb_database() noexcept(false) { tk_trace(2, "udb_database::dtor"); }

bool udb_database::same_table_name(const std::u16string& a, const std::u16string& b) const {
  return case_sensitive ? a == b : tk_iequal(a, b);
}

void udb_database::delete_tab(const std::u16string& name) {
  tk_wtrace(2, u"udb_database::delete_tab (%s)", name);
  auto found = std::find_if(tables.begin(), tables.end(), [&](const std::u16string& table) {
    return same_table_name(table, name);
  });
  if (found == tables.end()) throw tk_mail_assertion(source_name, __LINE__);
  tables.erase(found);
}

std::unique_ptr<udb_recordset> udb_database::query(const std::u16string& text) {
  tk_wtrace(2, u"udb_database::query(%s)", text);
  throw tk_mail_assertion(source_name, __LINE__);
}

void udb_database::create_views(const udb_views&) { tk_trace(2, "udb_database::create_views"); }

void udb_database::create_relationships(const udb_relationships&) {
  tk_trace(2, "udb_database::create_relationships");
}

bool udb_database::is_table_exist(const std::u16string& name) {
  tk_wtrace(1, u"udb_database::is_table_exist(%s)", name);
  for (const std::u16string& table : tables) {
    tk_wtrace(1, u"Compare with %s", table);
    if (same_table_name(table, name)) {
      tk_trace(1, "table exists");
      return true;
    }
  }
  tk_trace(1, "table not found");
  return false;
}
