#include "mss_msgs.h"

#ifndef TVX_SUPPORT_ADDRESS
#error "TVX_SUPPORT_ADDRESS must be set by the build"
#endif

#define TVX_CONTACT "Contact to " TVX_SUPPORT_ADDRESS

const tk_error_item mss_error_items[] = {
    {0x80E03, "Given values violate the database schema."},
    {0x80E07, "A literal value could not be converted to the correct type." TVX_CONTACT
              " for the solution."},
    {0x80E09,
     "You are not allowed to access MS SQL database. Ask your\nsystem administrator to grant you "
     "necessary privileges."},
    {0x80E11, "Invalid column ID. " TVX_CONTACT " for the solution."},
    {0x80E13, "Invalid value. " TVX_CONTACT " for the solution."},
    {0x80E17, "A data source with the specified name already exists."},
    {0x80E1D, "Requested conversion is not supported."},
    {0x80E21, "Errors occurred. " TVX_CONTACT " for the solution."},
    {0x80E2F,
     "The specified record violates the integrity constraints.\nSee 'Troubleshooting' article of "
     "the product documentation\nfor solution."},
    {0x80E30, "The given type name was unrecognized."},
    {0x80E34, "The specified index already exists."},
    {0x80E35, "The specified index does not exist."},
    {0x80E37, "The specified table does not exist."},
    {0x80E3A, "A specified precision was invalid."},
    {0x80E3B, "A specified scale was invalid."},
    {0x80E3C, "Invalid table ID. " TVX_CONTACT " for the solution."},
    {0x80E3D, "A specified type was invalid."},
    {0x80E3E, "A column ID was occurred more than once in the specification."},
    {0x80E3F,
     "The specified table already exists. Try to connect as database owner\nusing the "
     "appropriate checkbox on 'Connect to MS SQL server' wizard page."},
    {0x80E42, "The specified record number is invalid."},
    {0x80E4D, "Invalid user name or password."},
    {0x80E55, "The specified column did not exist."},
    {0x80E57,
     "A literal value overflowed the range of the type of the associated column.\n" TVX_CONTACT
     " for the solution."},
    {0x80E65, "The supplied columnID was invalid."},
    {0x80E72, "The index ID is invalid. " TVX_CONTACT "\nfor the solution."},
    {0x80EC1,
     "One or more column types are incompatible; conversion errors will\noccur during copying."},
    {0x80EDA, "Errors occurred. " TVX_CONTACT " for the solution."},
};
const uint32_t mss_error_item_count = sizeof mss_error_items / sizeof mss_error_items[0];

const char* const mss_msg_no_support_library =
    "Failed to load OLE DB support library. You should install it\r\nto proceed with the "
    "application.\r\n";
const char* const mss_msg_server_not_found =
    "MS SQL Server does not exist or access denied.\nCheck to verify the correct host was given.";
const char* const mss_msg_structure_mismatch =
    "The structure of data source does not conform to the destination table.";
const char* const mss_msg_cannot_cast = "Cannot cast types. " TVX_CONTACT " for the solution.";
const char* const mss_msg_generic_migration_error =
    "Generic error occurred while migrating the data.\n" TVX_CONTACT " for the solution.";
const char* const mss_msg_orphaned_records =
    "There are orphaned records that prevent from creating foreign key. For more\ninformation "
    "see Troubleshooting article of the product documentation.";
const char* const mss_msg_cant_create_view = "Can't create view. " TVX_CONTACT " for the solution.";
