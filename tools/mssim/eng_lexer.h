// T-SQL tokens. The whole batch is split at once; a double-quoted token stays undecided until the
// parser knows whether QUOTED_IDENTIFIER is on at that point of the batch.
#pragma once

#include <string>
#include <vector>

namespace mssim {

enum class tok {
  end,
  ident,    // word: name or keyword
  qident,   // [bracketed] name
  dquote,   // "..." : name with QUOTED_IDENTIFIER ON, string without
  string,   // '...'
  nstring,  // N'...'
  integer,
  decimal,
  real,      // with exponent
  money,     // $12.50
  binary,    // 0x...
  variable,  // @name
  sysvar,    // @@name
  op
};

struct token {
  tok kind = tok::end;
  std::u16string text;  // as written
  std::u16string val;   // identifier without quotes, string contents, number text without `$`
  int line = 1;
  size_t begin = 0, end = 0;  // source offsets
};

// Throws sql_error 105 for an unclosed quote or bracket.
std::vector<token> lex(const std::u16string& src);

// Reserved T-SQL keywords (case-insensitive): they cannot be used as names without quotes, and a
// misplaced one gives error 156 instead of 102.
bool is_reserved(const std::u16string& word);

}  // namespace mssim
