#include "reg_settings.h"

#include <vector>

#include "tk_log.h"

namespace {

bool load_flag(const tk_reg_key& key, const char* name, bool& value) {
  uint32_t n = 0;
  if (key.get_value(n, name) != 0) return false;
  value = n != 0;
  return true;
}

// Texts are read in two steps, the size and then the content; an empty text keeps the setting.
bool load_text(const tk_reg_key& key, const char* name, std::string& value) {
  uint32_t size = 0;
  if (key.get_value(static_cast<char*>(nullptr), name, &size) != 0) return false;
  if (size <= 1) return true;
  std::vector<char> buf(size);
  if (key.get_value(buf.data(), name, &size) != 0) return false;
  value.assign(buf.data());
  return true;
}

bool load_text(const tk_reg_key& key, const char* name, std::u16string& value) {
  uint32_t size = 0;
  if (key.get_value(static_cast<char16_t*>(nullptr), name, &size) != 0) return false;
  if (size <= 2) return true;
  std::vector<char16_t> buf(size / 2 + 1);
  if (key.get_value(buf.data(), name, &size) != 0) return false;
  value.assign(buf.data());
  return true;
}

}  // namespace

bool serialize(reg_settings& s, bool store, const tk_reg_root* root) {
  tk_trace(2, "serialize( %d )", store ? 1 : 0);
  if (!store) {
    s.as_dbo = true;
    s.blob_to_text = false;
    s.convert_views = false;
    s.skip_indexes = false;
    s.only_definitions = false;
    s.windows_authentication = true;
    s.port = "3306";
  }
  tk_reg_key key;
  if (key.create(root, reg_settings_key, tk_reg_all) != 0) return false;
  bool ok = true;
  auto flag = [&](const char* name, bool& value) {
    ok &= store ? key.set(value ? 1u : 0u, name) == 0 : load_flag(key, name, value);
  };
  auto narrow = [&](const char* name, std::string& value) {
    ok &= store ? key.set(value.c_str(), name) == 0 : load_text(key, name, value);
  };
  auto wide = [&](const char* name, std::u16string& value) {
    ok &= store ? key.set(value.c_str(), name) == 0 : load_text(key, name, value);
  };
  flag("as_dbo", s.as_dbo);
  flag("blob2text", s.blob_to_text);
  flag("convert_views", s.convert_views);
  flag("skip_idx", s.skip_indexes);
  flag("tab_def", s.only_definitions);
  flag("sec_log", s.windows_authentication);
  narrow("port", s.port);
  narrow("host", s.host);
  wide("src", s.src_db);
  wide("dest", s.dest_db);
  narrow("user", s.user);
  narrow("pswd", s.password);
  wide("mssqlh", s.server);
  wide("mssqlp", s.mssql_password);
  wide("mssqlu", s.login);
  key.close();
  return ok;
}
