// Creating a destination table and opening it for appending: what mss_database::create_table
// does, kept beside the table writer.
#pragma once

#include <memory>
#include <string>

#include "udb_idx.h"
#include "udb_schema.h"

class mss_database;
class mss_table;

// Creates table `name` of `fields` with `indexes` in `database` (odb_create_table) and returns it
// opened for appending (open flags 2), its index list being `indexes` as given (not a reading of
// the server). In a database opened for appending to existing tables (flag 0x08) an existing
// table is reused unchanged; otherwise an existing table is a defect of the caller, as is a
// database opened read-only (flag 0x01): tk_mail_assertion "mss_db". The name joins the
// database's table list.
std::unique_ptr<mss_table> mss_create_table(mss_database& database, const std::u16string& name,
                                            const udb_schema& fields, const udb_indexes& indexes);
