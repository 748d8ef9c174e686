#include "mss_db.h"

#include "mss_engi.h"
#include "mss_table.h"
#include "mss_vali.h"
#include "odb_cmd.h"
#include "odb_mdat.h"
#include "odb_tab.h"
#include "tk_exception.h"
#include "tk_log.h"

mss_database::mss_database(const std::u16string& name, std::shared_ptr<odb_data_source> data_source,
                           const odb_session& session, int32_t flags)
    : odb_database(&mss_engine::instance(), name, std::move(data_source), session, flags) {
  tk_wtrace(2, u"mss_database::ctor(%s)", name);
  const mss_engine& engine = mss_engine::instance();
  tk_wtrace(1, u"user=%s", engine.user_name());
  owner_ =
      engine.user_name().empty() || engine.as_dbo() ? std::u16string(u"dbo") : engine.user_name();
  init_tables(session_, owner_);
  if (!(flags & mss_engine::db_no_views)) {
    // A database whose views cannot be read still opens, without them.
    try {
      init_views(session_, owner_);
    } catch (const tk_exception& e) {
      tk_trace(3, "Error while extracting views:\n%s\n", e.what());
    }
  }
}

mss_database::~mss_database() noexcept(false) = default;

void mss_database::init_tables(const odb_session& session, const std::u16string& owner) {
  tk_wtrace(2, u"mss_database::init_tables(%s)", owner);
  odb_tl_meta_data rows(session, owner);
  for (rows.reset(); !rows.is_eof(); rows.next()) {
    const udb_record& row = rows.get_item();
    std::u16string table = row.size() > 2 ? row[2].to_wstring() : std::u16string();
    std::u16string schema = row.size() > 1 ? row[1].to_wstring() : std::u16string();
    tk_wtrace(1, u"Got table: (%s, %s)", table, schema);
    tables.push_back(table);
  }
  tk_trace(1, "Tables count: %d", static_cast<int>(tables.size()));
}

void mss_database::delete_tab(const std::u16string& name) {
  tk_wtrace(2, u"odb_database::delete_tab(%s)", name);
  odb_command(session_).execute(u"DROP TABLE " + mss_bracket(name));
  udb_database::delete_tab(name);
}

std::unique_ptr<udb_recordset> mss_database::get_table(const std::u16string& name, int32_t flags) {
  tk_wtrace(2, u"mss_database::get_table(%s)", name);
  return std::make_unique<mss_table>(mss_engine::instance().get_safe_tname(name), session_, flags,
                                     this);
}

std::unique_ptr<udb_recordset> mss_database::get_table(const std::u16string& name,
                                                       const std::u16string& query, int32_t flags) {
  tk_wtrace(2, u"mss_database::get_table(%s: %s)", name, query);
  return std::make_unique<mss_table>(name, query, session_, flags, this);
}
