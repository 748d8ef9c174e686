#include "udb_converter.h"

#include "tk_log.h"
#include "tk_string.h"
#include "udb_profile.h"

namespace keys = udb_profile_keys;

void udb_converter::set_mode(int32_t m) {
  tk_trace(1, "udb_converter::set_mode(%d)", m);
  mode = m;
}

std::u16string udb_converter::current_table() const {
  std::lock_guard<std::mutex> hold(current_table_lock_);
  return current_table_;
}

void udb_converter::set_current_table(const std::u16string& name) {
  std::lock_guard<std::mutex> hold(current_table_lock_);
  current_table_ = name;
}

// A "Selected Tables" key without a value is a table, with a value a query stored as a table of
// that name. A profile that selects anything replaces the whole selection, so a profile read after
// a table-list file (or before one) leaves exactly one list in force.
bool udb_converter::load_profile(const udb_profile& profile) {
  tk_wtrace(1, u"udb_converter::load_profile");
  const auto& selected = profile.section(keys::selected_tables);
  if (!selected.empty()) {
    selected_tables.clear();
    queries.clear();
    for (const auto& [name, text] : selected) {
      if (text.empty()) {
        tk_wtrace(1, u"Push back table '%s'", name);
        selected_tables.push_back(name);
      } else {
        queries.insert_or_assign(name, text);
      }
    }
  }
  for (const auto& [name, text] : profile.section(keys::available_queries))
    available_queries.insert_or_assign(name, text);

  if (auto v = profile.get(keys::generic_settings, u"src"); !v.empty()) src_db = v;
  if (auto v = profile.get(keys::generic_settings, u"dest"); !v.empty()) dest_db = v;
  if (auto v = profile.get(keys::generic_settings, u"logfile"); !v.empty())
    set_logfile(tk_wide_to_narrow(v));
  profile.get_switch(keys::generic_settings, u"only definitions", udb_switch_rule::not_zero,
                     only_definitions);
  profile.get_switch(keys::generic_settings, u"skip indexes", udb_switch_rule::not_zero,
                     skip_indexes);
  // Only the five modes are taken: a stray digit must not turn a merge into dropping the
  // destination database.
  std::u16string m = profile.get(keys::generic_settings, u"mode");
  if (m.size() == 1 && m[0] >= u'0' && m[0] <= u'4')
    mode = m[0] - u'0';
  else if (!m.empty())
    tk_wtrace(1, u"udb_converter::load_profile - mode '%s' ignored", m);
  return true;
}

bool udb_converter::store_profile(udb_profile& profile) const {
  tk_wtrace(2, u"udb_converter::store_profile");
  for (const auto& [name, text] : available_queries) {
    tk_wtrace(1, u"Available Query: (%s,%s)", name, text);
    profile.set(keys::available_queries, name, text);
  }
  for (const auto& [name, text] : queries) {
    tk_wtrace(1, u"Selected Query: (%s,%s)", name, text);
    profile.set(keys::selected_tables, name, text);
  }
  // A query of the same name wins over a table, as it does in a run.
  for (const auto& name : selected_tables) profile.set(keys::selected_tables, name, u"");
  profile.set(keys::generic_settings, u"src", src_db);
  profile.set(keys::generic_settings, u"dest", dest_db);
  profile.set(keys::generic_settings, u"logfile", tk_ansi_to_wide(logfile()));
  profile.set_switch(keys::generic_settings, u"skip indexes", skip_indexes);
  profile.set_switch(keys::generic_settings, u"only definitions", only_definitions);
  profile.set(keys::generic_settings, u"mode",
              std::u16string(1, static_cast<char16_t>(u'0' + mode)));
  return true;
}
