// The MS SQL connection settings of a conversion and the MS SQL engine they connect.
#pragma once

#include <memory>
#include <string>

class mss_engine;
class udb_profile;

class mssql_converter_impl {
 public:
  mssql_converter_impl();
  virtual ~mssql_converter_impl() noexcept(false);

  // Connects the engine with the Windows account or with the login; fast load is asked for per
  // table later, so the connection itself asks for none.
  void connect_mssql_server();

  bool load_profile(const udb_profile& profile);
  bool store_profile(udb_profile& profile) const;

  mss_engine& mssql_engine() { return *engine_; }
  const mss_engine& mssql_engine() const { return *engine_; }

  bool windows_authentication = false;
  // Empty server: the local server.
  std::u16string server;
  std::u16string login;
  std::u16string password;

 private:
  std::unique_ptr<mss_engine> engine_;
};
