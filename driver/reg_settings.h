// The conversion settings the desktop program remembers between its runs, and their
// serialisation to the per-user settings store (key "Software\Quillon\Tarvex"). The console
// program never reads or writes them.
#pragma once

#include <string>

#include "tk_reg_key.h"

inline constexpr const char* reg_settings_key = "Software\\Quillon\\Tarvex";

// The fifteen values. Narrow texts are held as the driver holds them (UTF-8 here).
struct reg_settings {
  bool as_dbo = false;
  bool blob_to_text = false;
  bool convert_views = false;
  bool skip_indexes = false;
  bool only_definitions = false;
  bool windows_authentication = false;
  std::string port = "3306";
  std::string host;
  std::u16string src_db;
  std::u16string dest_db;
  std::string user;
  std::string password;
  std::u16string server;
  std::u16string mssql_password;
  std::u16string login;
};

// Loads (`store` false) or stores (`store` true) every value in a fixed order.
// Loading first puts the defaults into the six switches (as_dbo and windows_authentication on,
// the others off) and the port ("3306"); a value that is missing, unreadable or an empty text
// then leaves its setting as it was. Storing writes every value, switches as 0 or 1. The answer is
// true only when every value was read or written; when the key cannot be opened nothing is read
// or written. Failures are never reported otherwise.
bool serialize(reg_settings& settings, bool store,
               const tk_reg_root* root = tk_reg_root::current_user());
