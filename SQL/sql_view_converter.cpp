#include "sql_view_converter.h"

#include <unicode/uchar.h>

#include <vector>

#include "tk_log.h"

namespace {

char16_t fold(char16_t c) { return static_cast<char16_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT)); }

// The first position at or after `from` where `needle` occurs in `text`, case ignored.
size_t ifind(const std::u16string& text, const std::u16string& needle, size_t from = 0) {
  if (needle.empty()) return from <= text.size() ? from : std::u16string::npos;
  for (size_t i = from; i + needle.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && fold(text[i + k]) == fold(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::u16string::npos;
}

// What each position of a statement text is: plain text, part of a quoted name (backquotes or
// double quotes, the quotes included) or part of a string literal (single quotes, included).
enum class where_at : char { plain, name, literal };

std::vector<where_at> classify(const std::u16string& text) {
  std::vector<where_at> out(text.size(), where_at::plain);
  char16_t quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (!quote) {
      if (c == u'`' || c == u'"' || c == u'\'') {
        quote = c;
        out[i] = c == u'\'' ? where_at::literal : where_at::name;
      }
      continue;
    }
    out[i] = quote == u'\'' ? where_at::literal : where_at::name;
    if (quote == u'\'' && c == u'\\' && i + 1 < text.size()) {
      out[++i] = where_at::literal;  // a backslash escape inside a literal
    } else if (c == quote) {
      if (i + 1 < text.size() && text[i + 1] == quote) {
        out[i + 1] = out[i];  // a doubled quote stands for itself
        ++i;
      } else {
        quote = 0;
      }
    }
  }
  return out;
}

}  // namespace

sql_view_converter::sql_view_converter(const std::u16string& text) : text_(text) {
  tk_wtrace(2, u"sql_view_converter::ctor(%s)", text);
  std::vector<where_at> kinds = classify(text_);
  for (size_t i = 0; i < text_.size(); ++i) {
    if (kinds[i] != where_at::name) skeleton_ += text_[i];
  }
  tk_wtrace(2, u"Skeleton=%s", skeleton_);
}

std::u16string sql_view_converter::convert_to_ansi() {
  tk_trace(2, "sql_view_converter::convert_to_ansi");
  // 1. A closing ORDER BY: only one outside parentheses and quotes belongs to the view itself;
  //    one inside a subquery or an aggregate is part of an expression and stays.
  {
    std::vector<where_at> kinds = classify(text_);
    std::vector<int> depth(text_.size() + 1, 0);
    int d = 0;
    for (size_t i = 0; i < text_.size(); ++i) {
      depth[i] = d;
      if (kinds[i] == where_at::plain) {
        if (text_[i] == u'(') ++d;
        if (text_[i] == u')' && d > 0) --d;
      }
    }
    static const std::u16string order_by = u" order by ";
    for (size_t at = ifind(text_, order_by); at != std::u16string::npos;
         at = ifind(text_, order_by, at + 1)) {
      if (kinds[at] == where_at::plain && depth[at] == 0) {
        tk_trace(2, "'ORDER BY' is found in view, length=%d", static_cast<int>(text_.size() - at));
        text_.erase(at);
        tk_wtrace(2, u"After removing 'ORDER BY':\n%s", text_);
        break;
      }
    }
  }
  // 2., 3. Only a view that both joins and filters is rewritten.
  if (ifind(skeleton_, u"join") == std::u16string::npos) return text_;
  if (ifind(skeleton_, u"where") == std::u16string::npos) return text_;
  // 4. Every join outside quotes becomes a cross join.
  static const std::u16string cross = u"cross join";
  std::vector<where_at> kinds = classify(text_);
  std::u16string out;
  size_t copied = 0;
  for (size_t at = ifind(text_, u"join"); at != std::u16string::npos;
       at = ifind(text_, u"join", at + 4)) {
    if (kinds[at] != where_at::plain) continue;
    out.append(text_, copied, at - copied);
    out += cross;
    copied = at + 4;
  }
  out.append(text_, copied, std::u16string::npos);
  text_ = out;
  return text_;
}

std::u16string sql_view_converter::strip_qualifiers(const std::u16string& text,
                                                    const std::u16string& qualifier) {
  std::u16string out = text;
  size_t open = out.find(u"/*");
  if (open != std::u16string::npos) {
    size_t close = out.find(u"*/", open + 2);
    if (close != std::u16string::npos) out.erase(open, close + 2 - open);
  }
  if (qualifier.empty()) return out;
  for (size_t at = ifind(out, qualifier); at != std::u16string::npos;
       at = ifind(out, qualifier, at)) {
    tk_trace(1, "Remove template found at pos=%d", static_cast<int>(at));
    out.erase(at, qualifier.size());
  }
  return out;
}
