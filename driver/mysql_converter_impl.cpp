#include "mysql_converter_impl.h"

#include <cctype>
#include <climits>

#include "sql_engine.h"
#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"
#include "tk_wformat.h"
#include "udb_profile.h"

namespace keys = udb_profile_keys;

long mysql_port_number(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long n = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    n = n * 10 + (text[i] - '0');
    if (n > 65535) return LONG_MAX;  // no port; far enough to be refused by any check
  }
  return negative ? -n : n;
}

mysql_converter_impl::mysql_converter_impl() : engine_(std::make_unique<sql_engine>()) {}

mysql_converter_impl::~mysql_converter_impl() noexcept(false) = default;

void mysql_converter_impl::store_mysql_settings(const std::string& h, const std::string& u,
                                                const std::string& p, const std::string& pt) {
  tk_wtrace(1, u"mysql_converter_impl::store_mysql_settings(%s,%s,%s,%S)", tk_ansi_to_wide(h),
            tk_ansi_to_wide(u), tk_ansi_to_wide(p), pt);
  host = tk_trim(h);
  user = tk_trim(u);
  password = tk_trim(p);
  port = tk_trim(pt);
  if (port.empty()) port = "3306";
}

// A port the number cannot name (0, negative, above 65535) is refused before the library sees
// it: it would silently take its own default port otherwise.
void mysql_converter_impl::connect_mysql_server() {
  tk_trace(2, "mysql_converter_impl::connect_mysql_server");
  long number = mysql_port_number(port);
  if (number <= 0 || number > 65535) throw tk_exception("Invalid port number", 1);
  engine_->connect(host, user, password, static_cast<unsigned>(number));
}

bool mysql_converter_impl::load_profile(const udb_profile& profile) {
  tk_wtrace(1, u"mysql_converter_impl::load_profile");
  auto utf8 = [&](const char16_t* key) {
    return tk_wide_to_utf8(profile.get(keys::mysql_settings, key));
  };
  host = utf8(u"host");  // missing or empty: the local server
  if (auto v = utf8(u"user"); !v.empty()) user = v;
  if (auto v = utf8(u"password"); !v.empty()) password = v;
  if (auto v = utf8(u"port"); !v.empty()) port = v;
  auto flag = [&](const char16_t* key, bool& value) {
    profile.get_switch(keys::mysql_settings, key, udb_switch_rule::exactly_one, value);
  };
  flag(u"dump line break", dump_line_break);
  flag(u"dump new version", dump_new_version);
  flag(u"dump add lock to insert", dump_add_lock_to_insert);
  flag(u"dump insert comments", dump_insert_comments);
  flag(u"dump create database", dump_create_database);
  flag(u"dump create table", dump_create_table);
  return true;
}

bool mysql_converter_impl::store_profile(udb_profile& profile) const {
  tk_wtrace(2, u"mysql_converter_impl::store_profile");
  auto text = [&](const char16_t* key, const std::string& value) {
    profile.set(keys::mysql_settings, key, tk_utf8_to_wide(value));
  };
  text(u"host", host);
  text(u"user", user);
  text(u"password", password);
  text(u"port", port);
  profile.set_switch(keys::mysql_settings, u"dump line break", dump_line_break);
  profile.set_switch(keys::mysql_settings, u"dump new version", dump_new_version);
  profile.set_switch(keys::mysql_settings, u"dump add lock to insert", dump_add_lock_to_insert);
  profile.set_switch(keys::mysql_settings, u"dump insert comments", dump_insert_comments);
  profile.set_switch(keys::mysql_settings, u"dump create database", dump_create_database);
  profile.set_switch(keys::mysql_settings, u"dump create table", dump_create_table);
  return true;
}
