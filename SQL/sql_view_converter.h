// Turns a view definition as MySQL stores it into text the destination can start from: the
// leading comment, the database qualifiers and a closing ORDER BY removed, and - when the view
// both joins and filters - every join written as a cross join, so that the WHERE clause carries
// the join condition.
#pragma once

#include <string>

class sql_view_converter {
 public:
  explicit sql_view_converter(const std::u16string& text);

  // The converted text (see the file comment). Searches ignore case; nothing inside a quoted
  // name or a string literal is ever rewritten.
  std::u16string convert_to_ansi();

  // The text without its backquoted and double-quoted sections (quotes included); string
  // literals stay. Whether a view joins and filters is decided on it.
  const std::u16string& skeleton() const { return skeleton_; }

  // The cleaning a stored definition gets before conversion: the first /* ... */ comment and
  // every `qualifier` (the backquoted database name followed by a point) removed, case ignored.
  static std::u16string strip_qualifiers(const std::u16string& text,
                                         const std::u16string& qualifier);

 private:
  std::u16string text_;
  std::u16string skeleton_;
};
