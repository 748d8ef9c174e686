// The tokenizer. Comments (-- and nested /* */) are skipped; line numbers count from the start of
// the batch as SQL Server reports them.
#include "eng_lexer.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <set>

#include "eng_errors.h"
#include "eng_util.h"

namespace mssim {
namespace {

bool ident_start(char16_t c) {
  return c == u'_' || c == u'#' || (c < 0x80 ? ((c | 32) >= 'a' && (c | 32) <= 'z') : u_isalpha(c));
}
bool ident_part(char16_t c) {
  return ident_start(c) || (c >= '0' && c <= '9') || c == u'@' || c == u'$' ||
         (c >= 0x80 && u_isalnum(c));
}
bool digit(char16_t c) { return c >= '0' && c <= '9'; }
bool hexdigit(char16_t c) { return digit(c) || ((c | 32) >= 'a' && (c | 32) <= 'f'); }

const char* const reserved_words[] = {"ADD",
                                      "ALL",
                                      "ALTER",
                                      "AND",
                                      "ANY",
                                      "AS",
                                      "ASC",
                                      "AUTHORIZATION",
                                      "BACKUP",
                                      "BEGIN",
                                      "BETWEEN",
                                      "BREAK",
                                      "BROWSE",
                                      "BULK",
                                      "BY",
                                      "CASCADE",
                                      "CASE",
                                      "CHECK",
                                      "CHECKPOINT",
                                      "CLOSE",
                                      "CLUSTERED",
                                      "COALESCE",
                                      "COLLATE",
                                      "COLUMN",
                                      "COMMIT",
                                      "COMPUTE",
                                      "CONSTRAINT",
                                      "CONTAINS",
                                      "CONTAINSTABLE",
                                      "CONTINUE",
                                      "CONVERT",
                                      "CREATE",
                                      "CROSS",
                                      "CURRENT",
                                      "CURRENT_DATE",
                                      "CURRENT_TIME",
                                      "CURRENT_TIMESTAMP",
                                      "CURRENT_USER",
                                      "CURSOR",
                                      "DATABASE",
                                      "DBCC",
                                      "DEALLOCATE",
                                      "DECLARE",
                                      "DEFAULT",
                                      "DELETE",
                                      "DENY",
                                      "DESC",
                                      "DISK",
                                      "DISTINCT",
                                      "DISTRIBUTED",
                                      "DOUBLE",
                                      "DROP",
                                      "DUMP",
                                      "ELSE",
                                      "END",
                                      "ERRLVL",
                                      "ESCAPE",
                                      "EXCEPT",
                                      "EXEC",
                                      "EXECUTE",
                                      "EXISTS",
                                      "EXIT",
                                      "EXTERNAL",
                                      "FETCH",
                                      "FILE",
                                      "FILLFACTOR",
                                      "FOR",
                                      "FOREIGN",
                                      "FREETEXT",
                                      "FREETEXTTABLE",
                                      "FROM",
                                      "FULL",
                                      "FUNCTION",
                                      "GOTO",
                                      "GRANT",
                                      "GROUP",
                                      "HAVING",
                                      "HOLDLOCK",
                                      "IDENTITY",
                                      "IDENTITY_INSERT",
                                      "IDENTITYCOL",
                                      "IF",
                                      "IN",
                                      "INDEX",
                                      "INNER",
                                      "INSERT",
                                      "INTERSECT",
                                      "INTO",
                                      "IS",
                                      "JOIN",
                                      "KEY",
                                      "KILL",
                                      "LEFT",
                                      "LIKE",
                                      "LINENO",
                                      "LOAD",
                                      "MERGE",
                                      "NATIONAL",
                                      "NOCHECK",
                                      "NONCLUSTERED",
                                      "NOT",
                                      "NULL",
                                      "NULLIF",
                                      "OF",
                                      "OFF",
                                      "OFFSETS",
                                      "ON",
                                      "OPEN",
                                      "OPENDATASOURCE",
                                      "OPENQUERY",
                                      "OPENROWSET",
                                      "OPENXML",
                                      "OPTION",
                                      "OR",
                                      "ORDER",
                                      "OUTER",
                                      "OVER",
                                      "PERCENT",
                                      "PIVOT",
                                      "PLAN",
                                      "PRECISION",
                                      "PRIMARY",
                                      "PRINT",
                                      "PROC",
                                      "PROCEDURE",
                                      "PUBLIC",
                                      "RAISERROR",
                                      "READ",
                                      "READTEXT",
                                      "RECONFIGURE",
                                      "REFERENCES",
                                      "REPLICATION",
                                      "RESTORE",
                                      "RESTRICT",
                                      "RETURN",
                                      "REVERT",
                                      "REVOKE",
                                      "RIGHT",
                                      "ROLLBACK",
                                      "ROWCOUNT",
                                      "ROWGUIDCOL",
                                      "RULE",
                                      "SAVE",
                                      "SCHEMA",
                                      "SECURITYAUDIT",
                                      "SELECT",
                                      "SESSION_USER",
                                      "SET",
                                      "SETUSER",
                                      "SHUTDOWN",
                                      "SOME",
                                      "STATISTICS",
                                      "SYSTEM_USER",
                                      "TABLE",
                                      "TABLESAMPLE",
                                      "TEXTSIZE",
                                      "THEN",
                                      "TO",
                                      "TOP",
                                      "TRAN",
                                      "TRANSACTION",
                                      "TRIGGER",
                                      "TRUNCATE",
                                      "TRY_CONVERT",
                                      "TSEQUAL",
                                      "UNION",
                                      "UNIQUE",
                                      "UNPIVOT",
                                      "UPDATE",
                                      "UPDATETEXT",
                                      "USE",
                                      "USER",
                                      "VALUES",
                                      "VARYING",
                                      "VIEW",
                                      "WAITFOR",
                                      "WHEN",
                                      "WHERE",
                                      "WHILE",
                                      "WITH",
                                      "WRITETEXT"};

}  // namespace

bool is_reserved(const std::u16string& word) {
  static const std::set<std::u16string> words = [] {
    std::set<std::u16string> s;
    for (const char* w : reserved_words) s.insert(fold(u16(w)));
    return s;
  }();
  if (word.empty() || word.size() > 20) return false;
  return words.count(fold(word)) > 0;
}

std::vector<token> lex(const std::u16string& src) {
  std::vector<token> out;
  size_t i = 0, n = src.size();
  int line = 1;
  auto count_lines = [&](size_t from, size_t to) {
    for (size_t k = from; k < to; ++k)
      if (src[k] == u'\n') ++line;
  };
  while (i < n) {
    char16_t c = src[i];
    if (c == u'\n') {
      ++line;
      ++i;
      continue;
    }
    if (c == u' ' || c == u'\t' || c == u'\r' || c == 0xFEFF || c == u'\f' || c == u'\v') {
      ++i;
      continue;
    }
    if (c == u'-' && i + 1 < n && src[i + 1] == u'-') {
      while (i < n && src[i] != u'\n') ++i;
      continue;
    }
    if (c == u'/' && i + 1 < n && src[i + 1] == u'*') {
      size_t start = i;
      int depth = 0;
      while (i < n) {
        if (src[i] == u'/' && i + 1 < n && src[i + 1] == u'*') {
          ++depth;
          i += 2;
        } else if (src[i] == u'*' && i + 1 < n && src[i + 1] == u'/') {
          i += 2;
          if (--depth == 0) break;
        } else {
          ++i;
        }
      }
      count_lines(start, i);
      if (depth != 0) throw sql_error(113, {});  // missing end comment mark
      continue;
    }
    token t;
    t.line = line;
    t.begin = i;
    auto quoted = [&](char16_t close, size_t content_start) {
      std::u16string v;
      size_t k = content_start;
      for (;;) {
        if (k >= n) {
          count_lines(i, n);
          throw sql_error(105, {v});
        }
        if (src[k] == close) {
          if (k + 1 < n && src[k + 1] == close) {
            v += close;
            k += 2;
            continue;
          }
          ++k;
          break;
        }
        v += src[k++];
      }
      count_lines(i, k);
      t.val = std::move(v);
      i = k;
    };
    if ((c == u'N') && i + 1 < n && src[i + 1] == u'\'') {
      t.kind = tok::nstring;
      quoted(u'\'', i + 2);
    } else if (c == u'\'') {
      t.kind = tok::string;
      quoted(u'\'', i + 1);
    } else if (c == u'[') {
      t.kind = tok::qident;
      quoted(u']', i + 1);
    } else if (c == u'"') {
      t.kind = tok::dquote;
      quoted(u'"', i + 1);
    } else if (c == u'0' && i + 1 < n && (src[i + 1] | 32) == u'x') {
      size_t k = i + 2;
      while (k < n && hexdigit(src[k])) ++k;
      t.kind = tok::binary;
      t.val = src.substr(i + 2, k - i - 2);
      i = k;
    } else if (digit(c) || (c == u'.' && i + 1 < n && digit(src[i + 1])) ||
               (c == u'$' && i + 1 < n &&
                (digit(src[i + 1]) || src[i + 1] == u'.' || src[i + 1] == u'-' ||
                 src[i + 1] == u'+'))) {
      size_t k = i;
      bool money = false;
      std::u16string v;
      if (c == u'$') {
        money = true;
        ++k;
        if (src[k] == u'-' || src[k] == u'+') v += src[k++];
      }
      bool dot = false, exp = false;
      while (k < n && digit(src[k])) v += src[k++];
      if (k < n && src[k] == u'.') {
        dot = true;
        v += src[k++];
        while (k < n && digit(src[k])) v += src[k++];
      }
      if (!money && k < n && (src[k] | 32) == u'e') {
        size_t m = k + 1;
        if (m < n && (src[m] == u'+' || src[m] == u'-')) ++m;
        // "1e" without digits is still a float constant 1 in T-SQL.
        exp = true;
        v += src.substr(k, m - k);
        k = m;
        while (k < n && digit(src[k])) v += src[k++];
      }
      t.kind = money ? tok::money : exp ? tok::real : dot ? tok::decimal : tok::integer;
      t.val = v;
      i = k;
    } else if (c == u'@') {
      size_t k = i + 1;
      bool sys = k < n && src[k] == u'@';
      if (sys) ++k;
      while (k < n && ident_part(src[k])) ++k;
      t.kind = sys ? tok::sysvar : tok::variable;
      t.val = src.substr(i, k - i);
      i = k;
    } else if (ident_start(c)) {
      size_t k = i + 1;
      while (k < n && ident_part(src[k])) ++k;
      t.kind = tok::ident;
      t.val = src.substr(i, k - i);
      i = k;
    } else {
      static const char16_t* const two[] = {u"<=", u">=", u"<>", u"!=", u"!<", u"!>",
                                            u"::", u"+=", u"-=", u"*=", u"/=", u"||"};
      t.kind = tok::op;
      size_t len = 1;
      for (const char16_t* op : two)
        if (i + 1 < n && src[i] == op[0] && src[i + 1] == op[1]) len = 2;
      t.val = src.substr(i, len);
      i += len;
    }
    t.end = i;
    t.text = src.substr(t.begin, t.end - t.begin);
    if (t.kind == tok::qident || t.kind == tok::dquote) {
      if (t.val.size() > 128) throw sql_error(103, {t.val.substr(0, 128)});
    }
    out.push_back(std::move(t));
  }
  token e;
  e.kind = tok::end;
  e.line = line;
  e.begin = e.end = n;
  out.push_back(e);
  return out;
}

}  // namespace mssim
