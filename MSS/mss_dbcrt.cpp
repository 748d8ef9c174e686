#include "mss_dbcrt.h"

#include "mss_db.h"
#include "mss_engi.h"
#include "mss_table.h"
#include "odb_tdef.h"
#include "tk_exception.h"
#include "tk_log.h"

std::unique_ptr<mss_table> mss_create_table(mss_database& database, const std::u16string& name,
                                            const udb_schema& fields, const udb_indexes& indexes) {
  tk_wtrace(2, u"mss_database::create_table(%s)", name);
  if (database.mode & mss_engine::db_read_only) throw tk_mail_assertion("mss_db", __LINE__);
  const bool exists = database.is_table_exist(name);
  mss_engine& engine = mss_engine::instance();
  if (!(database.mode & mss_engine::db_append)) {
    if (exists) throw tk_mail_assertion("mss_db", __LINE__);
    odb_create_table(database.session(), name, fields, indexes, engine.get_version_code());
    database.tables.push_back(name);
  } else if (!exists) {
    odb_create_table(database.session(), name, fields, indexes, engine.get_version_code());
    database.tables.push_back(name);
  }
  auto table =
      std::make_unique<mss_table>(engine.get_safe_tname(name), database.session(), 2, &database);
  table->clean_indexes();
  for (const udb_index& index : indexes) table->add_index(index);
  return table;
}

std::unique_ptr<udb_recordset> mss_database::create_table(const std::u16string& name,
                                                          const udb_schema& fields,
                                                          const udb_indexes& indexes) {
  return mss_create_table(*this, name, fields, indexes);
}
