#include "error_handler.h"

#include <cstdio>
#include <cstdlib>

#include "tk_log.h"
#include "tk_string.h"
#include "tk_wformat.h"

namespace {
constexpr const char* access_denied_text =
    "Failed to overwrite MySQL database. It is being used by\nanother application. Specify a "
    "different destination name.";
constexpr const char* cannot_connect_text =
    "Can't connect to the MySQL server. Check to verify that MySQL server\nis launched and the "
    "correct host/port values were given.";
constexpr const char* auth_protocol_text =
    "The program does not support authentication protocol requested by server.\nSee "
    "'Troubleshooting' article of the product documentation.";
}  // namespace

const tk_error_item mysql_error_items[] = {
    {0x400414,
     "Access denied. Ask your system administrator to grant you\nthe necessary privileges to "
     "write into the database."},
    {0x400415,
     "Access denied. Verify the user name and password are correct, and you have\nthe necessary "
     "privileges to connect to the target MySQL server."},
    {0x400426,
     "Duplicate field values being used for an unique index were found.\nSee 'Troubleshooting' "
     "article of the product documentation\nfor solution."},
    {0x40042F,
     "Primary key in the original database is too long.\nRestart the program with \"Skip "
     "converting indexes\"\ncheckbox selected in order to resolve the conflict.\n"},
    {0x4003F3, access_denied_text},
    {0x40046A,
     "You are not allowed to connect to the destination MySQL server.\nAsk your system "
     "administrator to grant you necessary privileges\nto create new databases on target MySQL "
     "server."},
    {0x40041B, access_denied_text},
    {0x4007D3, cannot_connect_text},
    {0x4007D5, cannot_connect_text},
    {0x4007D6,
     "Transferred value is too big. Increase MySQL max packet size and try\nagain. See "
     "'Troubleshooting' article of the product documentation."},
    {0x4004E1, auth_protocol_text},
    {0x4004E2, auth_protocol_text},
};
const uint32_t mysql_error_count = sizeof mysql_error_items / sizeof mysql_error_items[0];

error_handler::error_handler(uint32_t count, const tk_error_item* items)
    : converter_(count, items) {
  tk_trace(2, "error_handler::ctor");
}

void error_handler::load_err_map(uint32_t count, const tk_error_item* items) {
  tk_trace(2, "error_handler::load_err_map");
  converter_.load_map(count, items);
}

void error_handler::set_context(const std::u16string& text) { context_ = tk_wide_to_narrow(text); }

void error_handler::set_record_context(const std::u16string& table, int record) {
  context_ = tk_wide_to_narrow(tk_wformat(u"%s, record #%d", table, record));
}

std::string error_handler::message_for(const tk_exception& e) const {
  std::string message;
  if (!context_.empty()) message = context_ + ": ";
  std::string text = converter_.convert(static_cast<uint32_t>(e.code()));
  message += text.empty() ? std::string(e.what()) : text;
  return message;
}

void error_handler::handle(const tk_exception& e, bool no_throw) {
  tk_trace(2, "error_handler::handle");
  if (e.level() == 2) {
    tk_trace(3, "Internal error:\n%s", e.what());
    std::printf("Internal error: %s\n", e.what());
    std::fflush(stdout);
    std::exit(-1);
  }
  std::string message = message_for(e);
  tk_trace(3, "Error:\n%s", message.c_str());
  for (char& c : message)
    if (c == '\n') c = ' ';
  if (!dont_show_) {
    std::printf("Error:\n%s\n", message.c_str());
    std::fflush(stdout);
  }
  if (e.level() == 1) {
    tk_trace(1, "Got 1-level error");
    std::exit(-1);
  }
  tk_trace(1, "Got 0-level error");
  ++errors_reported_;
}
