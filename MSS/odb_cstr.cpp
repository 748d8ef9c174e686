#include "odb_cstr.h"

#include "odb_diag.h"
#include "odb_exce.h"
#include "tk_log.h"
#include "tk_string.h"

std::u16string odb_brace(const std::u16string& value) {
  std::u16string out = u"{";
  for (char16_t c : value) {
    out.push_back(c);
    if (c == u'}') out.push_back(u'}');
  }
  out.push_back(u'}');
  return out;
}

namespace {

[[noreturn]] void bad_server_name(const std::u16string& server, const char16_t* why) {
  odb_diag_record r;
  r.sqlstate = "08001";
  r.message = u"Invalid server name '" + server + u"': " + why;
  throw odb_exception(odb_hr::e_fail, odb_diag_records{r});
}

bool is_local_name(const std::u16string& host) {
  return host.empty() || host == u"." || tk_iequal(host, u"(local)");
}

}  // namespace

std::u16string odb_odbc_connection_string(const odb_connect_spec& spec) {
  std::u16string server = tk_trim(spec.server);
  if (server.size() >= 4 && tk_iequal(server.substr(0, 4), u"tcp:")) server = server.substr(4);

  std::u16string host = server;
  std::u16string port = u"1433";
  std::u16string instance;
  if (size_t comma = server.find(u','); comma != std::u16string::npos) {
    host = tk_trim(server.substr(0, comma));
    port = tk_trim(server.substr(comma + 1));
    bool digits = !port.empty() && port.size() <= 5;
    unsigned long value = 0;
    for (char16_t c : port) {
      if (c < u'0' || c > u'9') digits = false;
      if (digits) value = value * 10 + static_cast<unsigned long>(c - u'0');
    }
    if (!digits || value == 0 || value > 65535)
      bad_server_name(spec.server, u"the port must be a number from 1 to 65535.");
  } else if (size_t slash = server.find(u'\\'); slash != std::u16string::npos) {
    host = tk_trim(server.substr(0, slash));
    instance = tk_trim(server.substr(slash + 1));
    if (instance.empty()) bad_server_name(spec.server, u"the instance name is missing.");
  }
  if (is_local_name(host)) host = u"127.0.0.1";

  std::u16string out = u"Driver={FreeTDS};Server=";
  if (instance.empty()) {
    out += odb_brace(host) + u";Port=" + port;
  } else {
    out += odb_brace(host + u"\\" + instance);
  }
  if (!spec.catalog.empty()) out += u";Database=" + odb_brace(spec.catalog);
  if (spec.integrated) {
    out += u";Trusted_Connection=Yes";
  } else {
    out += u";UID=" + odb_brace(spec.user) + u";PWD=" + odb_brace(spec.password);
  }
  out += u";TDS_Version=7.4;";
  return out;
}
