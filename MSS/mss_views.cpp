#include "mss_views.h"

#include <unicode/uchar.h>

#include <optional>
#include <vector>

#include "mss_db.h"
#include "mss_msgs.h"
#include "mss_report.h"
#include "mss_vali.h"
#include "odb_cmd.h"
#include "odb_recs.h"
#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

char16_t fold(char16_t c) { return static_cast<char16_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT)); }

// A character that can continue an unquoted name.
bool is_word_char(char16_t c) { return c == u'_' || c == u'$' || u_isalnum(c); }

bool equal_at(const std::u16string& text, size_t pos, std::u16string_view what) {
  if (pos + what.size() > text.size()) return false;
  for (size_t k = 0; k < what.size(); ++k)
    if (fold(text[pos + k]) != fold(what[k])) return false;
  return true;
}

// Removes every occurrence of `what` (case ignored); with `word_start`, only where it does not
// continue a name.
void remove_all(std::u16string& text, std::u16string_view what, bool word_start) {
  size_t i = 0;
  while (i + what.size() <= text.size()) {
    if (equal_at(text, i, what) && (!word_start || i == 0 || !is_word_char(text[i - 1]))) {
      text.erase(i, what.size());
    } else {
      ++i;
    }
  }
}

// Walks a T-SQL text and tells for each position whether it is outside string literals ('...',
// "...") and bracketed names ([...], "]]" inside).
class quote_tracker {
 public:
  // Call for every character in order; true when `text[i]` is outside quotes and brackets (a
  // character that opens one is outside, the one that closes it inside).
  bool outside(const std::u16string& text, size_t i) {
    const char16_t c = text[i];
    if (close_ == 0) {
      if (c == u'\'' || c == u'"') close_ = c;
      if (c == u'[') close_ = u']';
      return true;
    }
    if (skip_next_) {
      skip_next_ = false;
      return false;
    }
    if (c == close_) {
      // "]]" inside brackets is one "]" of the name.
      if (close_ == u']' && i + 1 < text.size() && text[i + 1] == u']') {
        skip_next_ = true;
        return false;
      }
      close_ = 0;
    }
    return false;
  }

 private:
  char16_t close_ = 0;
  bool skip_next_ = false;
};

}  // namespace

int icomparer::compare(const std::u16string& text, size_t position) const {
  tk_wtrace(1, u"icomparer::compare('%s',%d)", keyword_, static_cast<int>(position));
  if (position + keyword_.size() >= text.size()) return -1;
  const std::u16string part = text.substr(position, keyword_.size());
  tk_wtrace(1, u"Got substring: '%s'", part);
  return equal_at(text, position, keyword_) ? 0 : 1;
}

std::u16string mss_refine_view(const std::u16string& text, const udb_names_map& names) {
  static const icomparer cp(u"_cp"), utf(u"_utf"), latin(u"_latin"), now(u"now"), isnull(u"isnull"),
      from_unixtime(u"from_unixtime");
  // A function keyword counts only as a whole word: "nowhere" is a name, not now().
  auto function_at = [&](const icomparer& keyword, size_t i) {
    if (keyword.compare(text, i) != 0) return false;
    const size_t end = i + keyword.keyword().size();
    return end >= text.size() || !is_word_char(text[end]);
  };

  std::u16string out;
  out.reserve(text.size() + 16);
  int depth = 0;
  int suffix_depth = -1;
  std::u16string suffix;
  bool in_string = false;
  bool skipping = false;
  bool after_separator = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t ch = text[i];
    if (ch == u'\'') {
      out += ch;
      if (!in_string) skipping = false;
      in_string = !in_string;
      continue;
    }
    if (in_string) {
      out += ch;
      continue;
    }
    if (ch == u'`') {
      // A quoted name is copied whole: nothing in it is a keyword, a doubled backtick is one
      // backtick of the name, and a "]" is doubled for the brackets.
      skipping = false;
      out += u'[';
      size_t j = i + 1;
      for (; j < text.size(); ++j) {
        if (text[j] == u'`') {
          if (j + 1 < text.size() && text[j + 1] == u'`') {
            out += u'`';
            ++j;
            continue;
          }
          break;
        }
        out += text[j];
        if (text[j] == u']') out += u']';
      }
      if (j < text.size()) out += u']';
      i = j;
      after_separator = false;
      continue;
    }
    if (ch == u'(') {
      ++depth;
      skipping = false;
      out += ch;
      after_separator = true;
      continue;
    }
    if (ch == u')') {
      const int before = depth--;
      if (!suffix.empty() && before == suffix_depth + 1) {
        out += suffix;
        tk_wtrace(1, u"After adding suffix: '%s'", out);
        suffix.clear();
        continue;
      }
    } else if (ch == u' ' || ch == u',') {
      if (!skipping) out += ch;
      after_separator = true;
      continue;
    }
    if (after_separator && i + 3 < text.size()) {
      after_separator = false;
      if (cp.compare(text, i) == 0 || utf.compare(text, i) == 0 || latin.compare(text, i) == 0) {
        // A character-set introducer: dropped up to its string.
        skipping = true;
      } else if (function_at(now, i)) {
        out += u"getdate";
        skipping = true;
      } else if (function_at(isnull, i)) {
        skipping = true;
        suffix = u") is null";
        suffix_depth = depth;
      } else if (function_at(from_unixtime, i)) {
        out += u"DateAdd(ss,";
        skipping = true;
        suffix = u"),'01-01-1970')";
        suffix_depth = depth;
      } else if (!skipping) {
        out += ch;
      }
    } else {
      if (!skipping) out += ch;
      after_separator = false;
    }
  }
  return names.do_global_replace1(out, u"", u"");
}

std::u16string mss_view_select(const std::u16string& definition, const std::u16string& name) {
  // Runs of blanks, tabs and line ends outside quotes and brackets become one blank.
  std::u16string text;
  text.reserve(definition.size());
  {
    quote_tracker quotes;
    bool in_run = false;
    for (size_t i = 0; i < definition.size(); ++i) {
      const char16_t c = definition[i];
      const bool blank = c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
      if (quotes.outside(definition, i) && blank) {
        if (!in_run) text += u' ';
        in_run = true;
        continue;
      }
      in_run = false;
      text += c;
    }
  }

  // The SELECT begins after the first " AS " that is not inside a name or a string.
  size_t as = std::u16string::npos;
  {
    quote_tracker quotes;
    for (size_t i = 0; i < text.size(); ++i)
      if (quotes.outside(text, i) && equal_at(text, i, u" as ")) {
        as = i;
        break;
      }
  }
  if (as == std::u16string::npos) {
    tk_trace(1, "'as' not found in the view");
  } else {
    text.erase(0, as + 4);
  }
  tk_wtrace(1, u"Got view #1: ('%s', '%s')", name, text);

  remove_all(text, u"TOP 100 PERCENT", true);
  remove_all(text, u"TOP (100) PERCENT", true);
  tk_wtrace(1, u"Got view #2: ('%s', '%s')", name, text);

  remove_all(text, u"[dbo].", false);
  remove_all(text, u"dbo.", true);
  tk_wtrace(1, u"Got view #3: ('%s', '%s')", name, text);

  text = tk_trim(text);
  tk_wtrace(1, u"Got view: ('%s', '%s')", name, text);
  return text;
}

void mss_create_views(const udb_views& views, udb_names_map& names,
                      const std::function<void(const std::u16string& statement)>& execute) {
  std::vector<std::u16string> view_names;
  for (const auto& view : views) view_names.push_back(view.first);
  mss_tn_validator validator(view_names, {});
  for (const auto& [source_name, definition] : views) {
    tk_wtrace(3, u"Processing '%s'", source_name);
    tk_wtrace(1, u"\t'%s'", definition);
    std::u16string name = source_name;
    // The report is made outside the guard, so that whatever the reporter raises (a handler that
    // stops the run) leaves this loop.
    bool failed = false;
    try {
      if (!validator.is_acceptable(name)) {
        name = validator.get_safe_name(name);
        names.add_tn_mapping(source_name, name);
        tk_wtrace(2, u"Store generated column name '%s'", name);
        validator.add_name_in_use(name);
      }
      const std::u16string statement =
          u"CREATE VIEW " + mss_bracket(name) + u" AS " + mss_refine_view(definition, names);
      tk_wtrace(3, u"Run SQL query: %s", statement);
      execute(statement);
    } catch (const tk_exception& e) {
      tk_trace(3, "Error while creating view:\n%s\n", e.what());
      failed = true;
    }
    if (failed) mss_report(u"View '" + name + u"'", tk_exception(mss_msg_cant_create_view, 0));
  }
}

std::u16string mss_database::refine_view(const std::u16string& text) const {
  tk_trace(2, "mss_database::refine_view");
  return mss_refine_view(text, names_map);
}

void mss_database::create_views(const udb_views& views) {
  tk_trace(2, "mss_database::create_views");
  mss_create_views(views, names_map, [this](const std::u16string& statement) { query(statement); });
}

void mss_database::init_views(const odb_session& session, const std::u16string& owner) {
  tk_wtrace(2, u"mss_database::init_views(%s)", owner);
  const std::u16string text =
      u"select table_name, view_definition from information_schema.views where table_schema='" +
      mss_escape_literal(owner) +
      u"' and table_name not in ('sysalternates','sysconstraints','syssegments')";
  std::unique_ptr<odb_rowset> rowset;
  odb_command(session).execute(text, &rowset);
  odb_recordset rows(std::move(rowset));
  for (rows.reset(); !rows.is_eof(); rows.next()) {
    const udb_record& row = rows.get_item();
    if (row.size() < 2) continue;
    const std::u16string name = row[0].to_wstring();
    views[name] = mss_view_select(row[1].to_wstring(), name);
  }
}
