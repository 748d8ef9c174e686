#include "sql_fk_parser.h"

#include "tk_log.h"

namespace {

// A small scanner over one line: blanks, words, quoted names and punctuation.
class scanner {
 public:
  explicit scanner(const std::u16string& text) : s_(text) {}

  void blanks() {
    while (i_ < s_.size() && (s_[i_] == u' ' || s_[i_] == u'\t' || s_[i_] == u'\r')) ++i_;
  }
  // The keyword `word` (ASCII, any case) as a whole word.
  bool keyword(const char* word) {
    blanks();
    size_t k = 0, at = i_;
    for (; word[k]; ++k, ++at) {
      if (at >= s_.size()) return false;
      char16_t c = s_[at];
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
      if (c != static_cast<char16_t>(word[k])) return false;
    }
    if (at < s_.size() && is_word_char(s_[at])) return false;
    i_ = at;
    return true;
  }
  bool peek(char16_t c) {
    blanks();
    return i_ < s_.size() && s_[i_] == c;
  }
  bool punct(char16_t c) {
    blanks();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  // A name: between backquotes or double quotes (a doubled quote stands for one), or bare.
  bool name(std::u16string& out) {
    blanks();
    out.clear();
    if (i_ >= s_.size()) return false;
    char16_t q = s_[i_];
    if (q == u'`' || q == u'"') {
      for (size_t at = i_ + 1; at < s_.size(); ++at) {
        if (s_[at] != q) {
          out += s_[at];
        } else if (at + 1 < s_.size() && s_[at + 1] == q) {
          out += q;
          ++at;
        } else {
          i_ = at + 1;
          return true;
        }
      }
      return false;  // no closing quote
    }
    size_t start = i_;
    while (i_ < s_.size() && is_word_char(s_[i_])) ++i_;
    out = s_.substr(start, i_ - start);
    return !out.empty();
  }
  // "(" name { "," name } ")"
  bool name_list(udb_names& out) {
    out.clear();
    if (!punct(u'(')) return false;
    std::u16string n;
    do {
      if (!name(n)) return false;
      out.push_back(n);
    } while (punct(u','));
    return punct(u')');
  }
  std::u16string rest() const { return i_ < s_.size() ? s_.substr(i_) : std::u16string(); }

 private:
  static bool is_word_char(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'$' || c >= 0x80;
  }
  const std::u16string& s_;
  size_t i_ = 0;
};

std::u16string trim_rules(std::u16string text) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u','; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  size_t b = 0;
  while (b < text.size() && blank(text[b])) ++b;
  return text.substr(b);
}

}  // namespace

sql_fk_parser::sql_fk_parser(const std::u16string& table, const std::u16string& create_text)
    : table_(table) {
  tk_wtrace(2, u"sql_fk_parser::ctor(%s)", table);
  size_t start = 0;
  while (start <= create_text.size()) {
    size_t end = create_text.find(u'\n', start);
    if (end == std::u16string::npos) end = create_text.size();
    lines_.push_back(create_text.substr(start, end - start));
    start = end + 1;
  }
}

void sql_fk_parser::do_parse(udb_relationships& out) const {
  tk_trace(2, "sql_fk_parser::do_parse");
  tk_trace(1, "Got %d chunks", static_cast<int>(lines_.size()));
  for (const std::u16string& line : lines_) {
    udb_relationship key;
    if (!parse_line(line, key)) continue;
    key.table = table_;
    tk_wtrace(1, u"Got foreign key '%s' -> '%s'", key.name, key.ref_table);
    out.push_back(std::move(key));
  }
}

bool sql_fk_parser::parse_line(const std::u16string& line, udb_relationship& key) {
  scanner in(line);
  key = udb_relationship{};
  if (in.keyword("CONSTRAINT")) {
    // The name may be left out in hand-written text; the server always prints it.
    if (!in.keyword("FOREIGN")) {
      if (!in.name(key.name) || !in.keyword("FOREIGN")) return false;
    }
  } else if (!in.keyword("FOREIGN")) {
    return false;
  }
  if (!in.keyword("KEY")) return false;
  // The grammar allows an index name between FOREIGN KEY and the column list.
  std::u16string index_name;
  if (!in.peek(u'(') && !in.name(index_name)) return false;
  if (!in.name_list(key.fields)) return false;
  if (!in.keyword("REFERENCES")) return false;
  // A key into another database is printed with its qualifier; the table is the last part.
  std::u16string part;
  if (!in.name(part)) return false;
  key.ref_table = part;
  while (in.punct(u'.')) {
    if (!in.name(part)) return false;
    key.ref_table = part;
  }
  if (!in.name_list(key.ref_fields)) return false;
  if (key.fields.size() != key.ref_fields.size()) return false;
  key.rules = trim_rules(in.rest());
  return true;
}
