// Views on the destination. A MySQL view text becomes T-SQL by one pass of a small character
// scanner (mss_refine_view): backquoted names become bracketed names, character-set introducers
// (_utf8'x') are dropped, now() becomes getdate(), isnull(x) becomes (x) is null and
// from_unixtime(x) becomes DateAdd(ss,(x),'01-01-1970'); nothing inside a string literal or a
// quoted name is rewritten. Then the generated table and column names of the names map replace
// the source names. Each view is created on its own, in name order; one that fails is reported
// and the next one is tried.
//
// When a database is opened, the views already on the server are read back into its view list,
// each reduced to its SELECT text (mss_view_select).
#pragma once

#include <functional>
#include <string>

#include "udb_db.h"
#include "udb_names_map.h"

// One keyword of the scanner, compared with the text at a position without regard to case.
class icomparer {
 public:
  explicit icomparer(std::u16string keyword) : keyword_(std::move(keyword)) {}

  // 0 when the keyword equals the characters of `text` from `position` on; -1 when the keyword
  // would reach or pass the end of the text (so a keyword ending at the last character does not
  // count); 1 when the characters differ.
  int compare(const std::u16string& text, size_t position) const;

  const std::u16string& keyword() const { return keyword_; }

 private:
  std::u16string keyword_;
};

// The T-SQL text of a MySQL view text, the names map applied.
std::u16string mss_refine_view(const std::u16string& text, const udb_names_map& names);

// The SELECT of a view definition as the server keeps it ("CREATE VIEW [v] AS SELECT ..."):
// blanks, tabs and line ends outside quotes and brackets collapsed to one blank, the text up to
// and including the first " AS " (case ignored, outside quotes and brackets) cut off, every "TOP
// 100 PERCENT" and "TOP (100) PERCENT" and every "dbo." and "[dbo]." owner prefix removed, blanks
// trimmed. A text without " AS " is kept whole. `name` is the view's, for the trace.
std::u16string mss_view_select(const std::u16string& definition, const std::u16string& name = {});

// Creates `views` in their order through `execute`: a name the destination cannot take ("1v")
// is replaced by a generated one ("_1v"), which enters the names map before the text is
// rewritten. A failure is reported (mss_report.h) with "View '<name>'" as context and the
// "Can't create view." message; the server's text goes to the trace.
void mss_create_views(const udb_views& views, udb_names_map& names,
                      const std::function<void(const std::u16string& statement)>& execute);
