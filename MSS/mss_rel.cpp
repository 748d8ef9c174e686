#include "mss_rel.h"

#include <optional>
#include <vector>

#include "mss_db.h"
#include "mss_engi.h"
#include "mss_msgs.h"
#include "mss_report.h"
#include "mss_vali.h"
#include "mss_vers.h"
#include "odb_diag.h"
#include "odb_exce.h"
#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

const char16_t* const allowed_actions[] = {
    u"ON DELETE NO ACTION", u"ON DELETE CASCADE", u"ON DELETE SET DEFAULT", u"ON DELETE SET NULL",
    u"ON UPDATE NO ACTION", u"ON UPDATE CASCADE", u"ON UPDATE SET DEFAULT", u"ON UPDATE SET NULL",
};

bool is_blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string trim_blanks(const std::u16string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && is_blank(text[begin])) ++begin;
  while (end > begin && is_blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::vector<std::u16string> words_of(const std::u16string& text) {
  std::vector<std::u16string> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && is_blank(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !is_blank(text[i])) ++i;
    if (i > start) words.push_back(tk_to_upper(text.substr(start, i - start)));
  }
  return words;
}

// Whether a server of `version_code` knows the action of an allowed clause.
bool server_knows(const std::u16string& clause, int version_code) {
  if (version_code < mss_version_2000) return false;
  const bool set_action = clause.find(u" SET ") != std::u16string::npos;
  return !set_action || version_code >= mss_version_2005;
}

std::u16string bracketed_list(const udb_names& fields, const std::u16string& table,
                              const udb_names_map& names) {
  std::u16string list;
  for (const std::u16string& field : fields) {
    if (!list.empty()) list += u", ";
    list += mss_bracket(names.get_fn_mapped_name(table, field, false));
  }
  return list;
}

// The exception a failed key is reported with.
tk_exception report_for(const odb_exception& e) {
  if (e.code() == odb_exception::code_of(odb_hr::integrity_violation))
    return tk_exception(mss_msg_orphaned_records, 0);
  return e;
}

}  // namespace

bool mss_is_valid_fk_props(const std::u16string& rules) {
  tk_wtrace(2, u"mss_database::is_valid_fk_props(%s)", rules);
  const std::u16string text = trim_blanks(rules);
  for (const char16_t* allowed : allowed_actions)
    if (tk_iequal(text, allowed)) return true;
  return false;
}

std::u16string mss_fk_actions(const std::u16string& rules, int version_code) {
  tk_wtrace(2, u"mss_fk_actions(%s,%d)", rules, version_code);
  const std::vector<std::u16string> words = words_of(rules);
  // Clauses begin at every ON followed by DELETE or UPDATE.
  std::vector<std::u16string> clauses;
  for (size_t i = 0; i < words.size(); ++i) {
    const bool starts = words[i] == u"ON" && i + 1 < words.size() &&
                        (words[i + 1] == u"DELETE" || words[i + 1] == u"UPDATE");
    if (starts || clauses.empty()) {
      clauses.push_back(words[i]);
    } else {
      clauses.back() += u" " + words[i];
    }
  }
  std::u16string actions;
  for (std::u16string clause : clauses) {
    // MySQL's RESTRICT refuses the change at once; SQL Server's NO ACTION refuses it too (its
    // check comes at the end of the statement, which MySQL's InnoDB does not tell apart).
    if (clause == u"ON DELETE RESTRICT") clause = u"ON DELETE NO ACTION";
    if (clause == u"ON UPDATE RESTRICT") clause = u"ON UPDATE NO ACTION";
    if (!mss_is_valid_fk_props(clause)) {
      tk_wtrace(3, u"Referential action '%s' is not supported, the key is created without it",
                clause);
      continue;
    }
    if (!server_knows(clause, version_code)) {
      tk_wtrace(3, u"Referential action '%s' is not supported by this server version", clause);
      continue;
    }
    if (!actions.empty()) actions += u" ";
    actions += clause;
  }
  return actions;
}

std::u16string mss_fk_statement(const udb_relationship& key, const udb_names_map& names,
                                const std::u16string& actions) {
  const std::u16string table = names.get_tn_mapped_name(key.table, false);
  const std::u16string ref_table = names.get_tn_mapped_name(key.ref_table, false);
  std::u16string statement = u"ALTER TABLE " + mss_bracket(table) + u" ADD ";
  if (!key.name.empty()) statement += u"CONSTRAINT " + mss_bracket(key.name) + u" ";
  statement += u"FOREIGN KEY (" + bracketed_list(key.fields, table, names) + u") REFERENCES " +
               mss_bracket(ref_table) + u"(" + bracketed_list(key.ref_fields, ref_table, names) +
               u")";
  if (!actions.empty()) statement += u" " + actions;
  return statement;
}

std::string mss_fk_without_actions_text(const std::u16string& actions) {
  return "The key was created without its referential actions (" + tk_wide_to_message(actions) +
         "): the server refused them, since they may cause cycles or multiple cascade paths.";
}

void mss_create_keys(const udb_relationships& keys, const udb_names_map& names, int version_code,
                     const std::function<void(const std::u16string& statement)>& execute) {
  for (const udb_relationship& key : keys) {
    tk_wtrace(3, u"Processing '%s'", key.name);
    // The report is made outside the guard, so that whatever the reporter raises (a handler that
    // stops the run) leaves this loop.
    std::optional<tk_exception> report;
    try {
      const std::u16string actions = mss_fk_actions(key.rules, version_code);
      const std::u16string statement = mss_fk_statement(key, names, actions);
      tk_wtrace(3, u"Run SQL query: %s", statement);
      try {
        execute(statement);
      } catch (const odb_exception& e) {
        if (actions.empty() || !e.has_native_error(mss_error_cascade_paths)) throw;
        tk_trace(3, "%s", e.what());
        const std::u16string plain = mss_fk_statement(key, names, std::u16string());
        tk_wtrace(3, u"Run SQL query: %s", plain);
        execute(plain);
        report.emplace(mss_fk_without_actions_text(actions), 0);
      }
    } catch (const odb_exception& e) {
      tk_trace(3, "%s", e.what());
      report.emplace(report_for(e));
    } catch (const tk_exception& e) {
      tk_trace(3, "%s", e.what());
      report.emplace(e);
    }
    if (report) mss_report(u"Foreign key '" + key.name + u"'", *report);
  }
}

bool mss_database::is_valid_fk_props(const std::u16string& rules) {
  return mss_is_valid_fk_props(rules);
}

void mss_database::create_relationships(const udb_relationships& keys) {
  tk_trace(2, "mss_database::create_relationships");
  tk_trace(3, "Converting foreign keys");
  if (mode == mss_engine::db_append) {
    tk_trace(3, "Foreign keys are not converted in append mode");
    return;
  }
  mss_create_keys(keys, names_map, mss_engine::instance().get_version_code(),
                  [this](const std::u16string& statement) { query(statement); });
}
