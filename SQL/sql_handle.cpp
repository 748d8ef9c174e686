#include "sql_handle.h"

#include "sql_exception.h"
#include "tk_string.h"

void sql_mysql_closer::operator()(st_mysql* mysql) const noexcept {
  if (mysql) mysql_close(mysql);
}

void sql_result_freer::operator()(st_mysql_res* result) const noexcept {
  if (result) mysql_free_result(result);
}

std::string sql_backquote(const std::string& name_utf8) {
  std::string out = "`";
  for (char c : name_utf8) {
    out += c;
    if (c == '`') out += '`';
  }
  out += '`';
  return out;
}

std::string sql_literal(MYSQL* mysql, const std::string& text_utf8) {
  std::string buf(text_utf8.size() * 2 + 1, '\0');
  unsigned long n = mysql_real_escape_string(mysql, buf.data(), text_utf8.data(),
                                             static_cast<unsigned long>(text_utf8.size()));
  if (n == static_cast<unsigned long>(-1)) {
    throw sql_exception("The text cannot be escaped for the connection's character set", 0);
  }
  buf.resize(n);
  return "'" + buf + "'";
}

std::vector<sql_column> sql_describe_columns(MYSQL_RES* result, bool blob_to_text) {
  std::vector<sql_column> out;
  unsigned n = mysql_num_fields(result);
  MYSQL_FIELD* fields = mysql_fetch_fields(result);
  out.reserve(n);
  for (unsigned i = 0; i < n; ++i) {
    const MYSQL_FIELD& f = fields[i];
    out.push_back(sql_column::describe(tk_utf8_to_wide(f.name, f.name_length), f.type, f.flags,
                                       f.charsetnr, f.length, f.decimals, blob_to_text));
  }
  return out;
}
