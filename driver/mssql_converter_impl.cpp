#include "mssql_converter_impl.h"

#include "mss_engi.h"
#include "tk_log.h"
#include "udb_profile.h"

namespace keys = udb_profile_keys;

mssql_converter_impl::mssql_converter_impl() : engine_(std::make_unique<mss_engine>(false)) {
  engine_->set_as_dbo(false);
}

mssql_converter_impl::~mssql_converter_impl() noexcept(false) = default;

void mssql_converter_impl::connect_mssql_server() {
  tk_trace(1, "mssql_converter_impl::connect_mssql_server");
  if (windows_authentication)
    engine_->connect(server, false);
  else
    engine_->connect(server, login, password, false);
}

bool mssql_converter_impl::load_profile(const udb_profile& profile) {
  tk_wtrace(1, u"mssql_converter_impl::load_profile");
  if (auto v = profile.get(keys::mssql_settings, u"server"); !v.empty()) server = v;
  if (auto v = profile.get(keys::mssql_settings, u"login"); !v.empty()) login = v;
  if (auto v = profile.get(keys::mssql_settings, u"password"); !v.empty()) password = v;
  profile.get_switch(keys::mssql_settings, u"windows authentication", udb_switch_rule::exactly_one,
                     windows_authentication);
  bool as_dbo = false;
  if (profile.get_switch(keys::mssql_settings, u"connect as DBO", udb_switch_rule::exactly_one,
                         as_dbo))
    engine_->set_as_dbo(as_dbo);
  return true;
}

bool mssql_converter_impl::store_profile(udb_profile& profile) const {
  tk_wtrace(2, u"mssql_converter_impl::store_profile");
  profile.set(keys::mssql_settings, u"server", server);
  profile.set(keys::mssql_settings, u"login", login);
  profile.set(keys::mssql_settings, u"password", password);
  profile.set_switch(keys::mssql_settings, u"windows authentication", windows_authentication);
  profile.set_switch(keys::mssql_settings, u"connect as DBO", engine_->as_dbo());
  return true;
}
