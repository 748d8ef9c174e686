// The destination's user messages: the table of friendly texts by odb_exception code, which
// whoever shows errors loads into its tk_error_converter, and the fixed texts of the destination
// failures that are not provider errors. Texts marked with the support sentence name the support
// address chosen at build time (TVX_SUPPORT_ADDRESS).
#pragma once

#include <cstdint>

#include "tk_errco.h"

extern const tk_error_item mss_error_items[];
extern const uint32_t mss_error_item_count;  // 27

// The data-initialization service (here: the ODBC driver manager) cannot be used.
extern const char* const mss_msg_no_support_library;
// A connection failed with E_FAIL (0x84005): no server there, or it refused us.
extern const char* const mss_msg_server_not_found;
// A row's value count differs from the destination table's column count.
extern const char* const mss_msg_structure_mismatch;
// A decimal cannot be converted for the bulk load.
extern const char* const mss_msg_cannot_cast;
// The final commit of a bulk load failed.
extern const char* const mss_msg_generic_migration_error;
// A foreign key cannot be created over rows that break it.
extern const char* const mss_msg_orphaned_records;
// A view cannot be created.
extern const char* const mss_msg_cant_create_view;
