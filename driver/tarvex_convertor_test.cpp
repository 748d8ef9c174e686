#include "tarvex_convertor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "driver_fakes.h"
#include "error_handler.h"
#include "mss_engi.h"
#include "mss_msgs.h"
#include "sql_exception.h"
#include "tk_string.h"
#include "udb_profile.h"

namespace {

struct output {
  std::string out, err;
};

class driver_test : public ::testing::Test {
 protected:
  void SetUp() override {
    handler_->load_err_map(mysql_error_count, mysql_error_items);
    drv_->set_servers(&sv_);
    drv_->src_db = u"src";
    drv_->dest_db = u"dst";
  }

  output run() {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    (*drv_)();
    output o;
    o.out = testing::internal::GetCapturedStdout();
    o.err = testing::internal::GetCapturedStderr();
    return o;
  }

  // Values of column `col` of a destination table, as text.
  std::vector<std::string> column(const std::u16string& table, size_t col = 0) {
    std::vector<std::string> v;
    for (const auto& r : sv_.dest.tables.at(table).rows) v.push_back(narrow(r[col].to_wstring()));
    return v;
  }

  std::unique_ptr<error_handler> handler_ =
      std::make_unique<error_handler>(mss_error_item_count, mss_error_items);
  std::unique_ptr<tarvex_convertor> drv_ = std::make_unique<tarvex_convertor>(true);
  fake_servers sv_;
};

fake_table people(std::vector<int> ids) {
  std::vector<std::vector<ole_variant>> rows;
  for (int id : ids)
    rows.push_back({ole_variant(id), ole_variant(u"n" + std::u16string(1, u'0' + id % 10))});
  return make_table({{u"id", VT_I4}, {u"name", VT_BSTR, 20}}, rows, true);
}

std::vector<std::string> opened(const fake_store& s) {
  std::vector<std::string> v;
  for (const auto& j : s.journal)
    if (j.rfind("get_table ", 0) == 0 || j.rfind("query ", 0) == 0) v.push_back(j);
  return v;
}

}  // namespace

TEST_F(driver_test, converts_every_entry_in_name_order_and_resets_the_counters) {
  sv_.source.tables[u"b"] = people({1, 2});
  sv_.source.tables[u"A"] = people({3});
  sv_.source.tables[u"a"] = people({});
  sv_.source.tables[u"other"] = people({9});
  drv_->selected_tables = {u"b", u"A", u"a"};
  drv_->queries[u"q"] = u"SELECT * FROM b";
  std::vector<int> done_at_open;
  sv_.source.on_open = [&](const std::u16string&) { done_at_open.push_back(drv_->tables_done); };

  output o = run();
  EXPECT_EQ(opened(sv_.source),
            (std::vector<std::string>{"get_table A", "get_table a", "get_table b",
                                      "query q SELECT * FROM b"}));
  EXPECT_EQ(done_at_open, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(o.out,
            "Converting database src(3 tables)\n"
            "Converting table A(1 records)\n"
            "Converting table a(0 records)\n"
            "Converting table b(2 records)\n"
            "Converting table q(2 records)\n");
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(column(u"b"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(column(u"q"), (std::vector<std::string>{"1", "2"}));
  EXPECT_TRUE(sv_.dest.tables.at(u"a").rows.empty());
  EXPECT_EQ(sv_.dest.tables.count(u"other"), 0u);
  EXPECT_EQ(drv_->tables_done, 0);
  EXPECT_EQ(drv_->tables_total, 0);
  EXPECT_EQ(drv_->records_done, 0);
  EXPECT_TRUE(drv_->finished());
  EXPECT_FALSE(drv_->run_failed());
  EXPECT_EQ(handler_->errors_reported(), 0);
  // The run's merged list is its own: the selection is as the user left it.
  EXPECT_EQ(drv_->queries.size(), 1u);
  EXPECT_EQ(sv_.calls,
            (std::vector<std::string>{"blob2text 0", "open_source src 1", "create_dest"}));
  // Each destination table is closed before its source, and both databases at the end.
  EXPECT_TRUE(sv_.dest.saw("create_relationships"));
  EXPECT_EQ(sv_.dest.journal.back(), "close dest db");
}

TEST_F(driver_test, a_query_wins_over_a_table_of_its_name_and_all_tables_when_none_selected) {
  sv_.source.tables[u"x"] = people({1});
  sv_.source.tables[u"y"] = people({2, 3});
  drv_->selected_tables = {u"x"};
  drv_->queries[u"x"] = u"SELECT * FROM y";
  run();
  EXPECT_EQ(opened(sv_.source), (std::vector<std::string>{"query x SELECT * FROM y"}));
  EXPECT_EQ(column(u"x"), (std::vector<std::string>{"2", "3"}));

  sv_.source.journal.clear();
  sv_.dest.tables.clear();
  drv_->selected_tables.clear();
  drv_->queries.clear();
  output o = run();
  EXPECT_EQ(opened(sv_.source), (std::vector<std::string>{"get_table x", "get_table y"}));
  EXPECT_EQ(o.out.substr(0, o.out.find('\n')), "Converting database src(2 tables)");
}

TEST_F(driver_test, a_listed_table_the_source_lacks_is_reported_and_the_others_converted) {
  sv_.source.tables[u"actor"] = people({1});
  drv_->selected_tables = {u"nope", u"actor"};
  output o = run();
  EXPECT_EQ(o.err, "Table nope not exists\n");
  EXPECT_EQ(column(u"actor").size(), 1u);
  EXPECT_EQ(drv_->problems_reported(), 1);

  drv_->set_silent(true);
  sv_.dest = fake_store();
  sv_.dest_present = false;
  o = run();
  EXPECT_EQ(o.out + o.err, "");
}

TEST_F(driver_test, modes_against_an_existing_destination) {
  struct {
    int mode;
    int dest_flags;
    std::vector<std::string> rows;  // of the existing table t afterwards
    bool dropped, created;
    std::string first_name;  // of t's first row: "old" unless overwritten
  } cases[] = {
      {1, 8, {"1", "2", "3"}, true, true, "n1"},
      {2, 8, {"2", "7"}, false, false, "old"},
      {3, 8, {"2", "7", "1", "3"}, false, true, "old"},
      {4, 8, {"2", "7", "1", "3"}, false, true, "n2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    sv_.source = fake_store();
    sv_.dest = fake_store();
    sv_.calls.clear();
    sv_.source.tables[u"t"] = people({1, 2, 3});
    sv_.source.tables[u"u"] = people({5});
    sv_.dest.tables[u"t"] = people({2, 7});
    static_cast<ole_variant&>(sv_.dest.tables[u"t"].rows[0][1]) = ole_variant(u"old");
    sv_.dest_present = true;
    drv_->set_mode(c.mode);
    output o = run();
    EXPECT_EQ(sv_.calls.back(), "open_dest " + std::to_string(c.dest_flags));
    EXPECT_EQ(column(u"t"), c.rows);
    EXPECT_EQ(sv_.dest.saw("delete_tab t"), c.dropped);
    EXPECT_EQ(sv_.dest.saw("create_table t"), c.created);
    EXPECT_EQ(column(u"u"), (std::vector<std::string>{"5"}));    // a new table is always made
    EXPECT_EQ(o.out.find("Error"), std::string::npos) << o.out;  // duplicates are no errors
    EXPECT_EQ(drv_->tables_done, 0);
    // Merge and synchronize switch the fast path off for the existing table only.
    EXPECT_EQ(sv_.dest.saw("fast_load 0"), c.mode >= 3);
    EXPECT_EQ(narrow(sv_.dest.tables.at(u"t").rows[0][1].to_wstring()), c.first_name);
    EXPECT_EQ(sv_.dest.saw("update t 2"), c.mode == 4);
  }
  EXPECT_EQ(handler_->errors_reported(), 0);
}

TEST_F(driver_test, mode_zero_drops_an_existing_database_before_the_run) {
  sv_.source.tables[u"t"] = people({1});
  sv_.dest.tables[u"old"] = people({4});
  sv_.dest_present = true;
  drv_->set_mode(1);
  drv_->check_dest();  // kept in mode 1
  EXPECT_TRUE(sv_.dest_present);
  drv_->set_mode(0);
  drv_->check_dest();
  EXPECT_FALSE(sv_.dest_present);
  run();
  EXPECT_EQ(sv_.calls.back(), "create_dest");
  EXPECT_EQ(sv_.dest.tables.count(u"old"), 0u);

  // Mode 0 meeting a database that is there after all opens it as a fresh one (flags 4).
  sv_.dest_present = true;
  sv_.dest.tables.clear();
  run();
  EXPECT_EQ(sv_.calls.back(), "open_dest 4");
}

TEST_F(driver_test, merge_into_a_table_of_another_structure_reports_that_table_only) {
  sv_.source.tables[u"t"] = people({1});
  sv_.source.tables[u"u"] = people({2});
  sv_.dest.tables[u"t"] = make_table({{u"id", VT_I4}}, {{ole_variant(9)}}, true);
  sv_.dest_present = true;
  drv_->set_mode(3);
  output o = run();
  EXPECT_EQ(o.out,
            "Converting database src(2 tables)\n"
            "Error:\nt: The structure of data source does not conform to the destination "
            "table.\n"
            "Converting table u(1 records)\n");
  EXPECT_EQ(column(u"t"), (std::vector<std::string>{"9"}));
  EXPECT_EQ(handler_->errors_reported(), 1);
  // The entry's recordsets are released all the same.
  EXPECT_TRUE(sv_.dest.saw("close dest t"));
  EXPECT_TRUE(sv_.source.saw("close source t"));
}

TEST_F(driver_test, sixty_four_bit_integers_stay_on_servers_that_have_them) {
  for (int version : {1, 2, 3, 4, 5, 6}) {
    SCOPED_TRACE(version);
    sv_.dest = fake_store();
    sv_.source.tables[u"big"] = make_table({{u"id", VT_UI8}, {u"n", VT_I8}, {u"s", VT_BSTR, 9}},
                                           {{ole_variant(18446744073709551615ull),
                                             ole_variant(9007199254740993ll), ole_variant(u"x")}},
                                           true);
    sv_.version = version;
    run();
    const udb_schema& s = sv_.dest.tables.at(u"big").schema;
    VARTYPE expect_u = version >= 3 ? VT_UI8 : VT_R8, expect_i = version >= 3 ? VT_I8 : VT_R8;
    EXPECT_EQ(s[0].vartype, expect_u);
    EXPECT_EQ(s[1].vartype, expect_i);
    EXPECT_EQ(s[2].vartype, VT_BSTR);
    // The source table's own schema is not touched.
    EXPECT_EQ(sv_.source.tables.at(u"big").schema[0].vartype, VT_UI8);
  }
}

TEST_F(driver_test, skip_indexes_and_definitions_only) {
  sv_.source.tables[u"t"] = people({1, 2});
  drv_->skip_indexes = true;
  drv_->only_definitions = true;
  output o = run();
  EXPECT_TRUE(sv_.dest.tables.at(u"t").indexes.empty());
  EXPECT_TRUE(sv_.dest.tables.at(u"t").rows.empty());
  EXPECT_NE(o.out.find("Converting table t(2 records)"), std::string::npos);
  EXPECT_EQ(drv_->records_done, 0);
}

TEST_F(driver_test, a_failing_row_is_reported_with_its_number_and_the_rows_go_on) {
  sv_.source.tables[u"t"] = people({1, 2, 3});
  sv_.source.tables[u"u"] = people({4, 5, 6});
  std::vector<int> done_at_append;
  sv_.dest.on_append = [&](const std::u16string& table, int row) {
    if (table == u"t") done_at_append.push_back(drv_->records_done);
    if (table == u"t" && row == 2) throw odb_exception(static_cast<int32_t>(0x80040E57));
    // Anything but a destination error leaves the table.
    if (table == u"u" && row == 2) throw tk_exception("value cannot be read", 0);
  };
  output o = run();
  EXPECT_EQ(column(u"t"), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(done_at_append, (std::vector<int>{0, 1, 2}));
  EXPECT_NE(o.out.find("Error:\nt, record #2: A literal value overflowed the range of the type of "
                       "the associated column. Contact to "),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find("Error:\nu: value cannot be read\n"), std::string::npos) << o.out;
  EXPECT_EQ(column(u"u"), (std::vector<std::string>{"4"}));
  EXPECT_EQ(handler_->errors_reported(), 2);
  EXPECT_EQ(handler_->context(), "");  // cleared after the loop

  // A duplicate outside merge and synchronize is an error of its row like any other.
  sv_.dest = fake_store();
  sv_.dest.tables[u"t"] = people({2});
  sv_.dest_present = true;
  drv_->set_mode(1);
  sv_.dest.on_append = [&](const std::u16string&, int row) {
    if (row == 1) throw odb_exception(static_cast<int32_t>(0x80040E2F));
  };
  o = run();
  EXPECT_NE(o.out.find("t, record #1: The specified record violates"), std::string::npos) << o.out;
}

TEST_F(driver_test, failures_of_a_table_and_of_the_whole_run) {
  sv_.source.tables[u"t"] = people({1});
  sv_.source.tables[u"u"] = people({2});
  sv_.source.on_open = [](const std::u16string& name) {
    if (name == u"t") throw sql_exception("Table 'src.t' is marked as crashed", 1194);
  };
  output o = run();
  EXPECT_NE(o.out.find("Error:\nt: Table 'src.t' is marked as crashed\n"), std::string::npos);
  EXPECT_EQ(column(u"u").size(), 1u);
  EXPECT_FALSE(drv_->run_failed());

  // The source cannot be opened: reported, nothing converted, the run failed.
  sv_.dest = fake_store();
  sv_.calls.clear();
  sv_.on_open_source = [] { throw sql_exception("Unknown database 'src'", 1049); };
  o = run();
  EXPECT_EQ(o.out, "Error:\nUnknown database 'src'\n");
  EXPECT_TRUE(drv_->run_failed());
  EXPECT_TRUE(drv_->finished());
  EXPECT_EQ(sv_.calls.size(), 2u);  // no destination was opened

  // An exception outside the system's own goes to the error stream and ends the run.
  sv_.on_open_source = [] { throw std::runtime_error("out of something"); };
  o = run();
  EXPECT_EQ(o.err, "out of something\n");
  EXPECT_TRUE(drv_->run_failed());
}

TEST_F(driver_test, generated_names_are_used_and_recorded_for_keys_and_views) {
  sv_.source.tables[u"1st"] = people({1});
  udb_relationship fk;
  fk.name = u"fk_1st";
  fk.table = u"1st";
  sv_.source.tables[u"1st"].keys.push_back(fk);
  sv_.source.views[u"v"] = u"select 1";
  drv_->convert_views = true;
  drv_->views = sv_.source.views;
  run();
  EXPECT_TRUE(sv_.dest.saw("create_table _1st"));
  EXPECT_EQ(column(u"_1st").size(), 1u);
  EXPECT_TRUE(sv_.dest.saw("create_relationships fk_1st"));
  EXPECT_TRUE(sv_.dest.saw("create_views 1"));
}

TEST_F(driver_test, profile_round_trip_and_the_two_switch_rules) {
  drv_->src_db = u"sakila";
  drv_->dest_db = u"sak dest";
  drv_->set_mode(3);
  drv_->skip_indexes = true;
  drv_->selected_tables = {u"actor", u"film"};
  drv_->queries[u"cheap"] = u"SELECT * FROM film WHERE rental_rate < 1";
  drv_->available_queries[u"cheap"] = drv_->queries[u"cheap"];
  drv_->available_queries[u"unused"] = u"SELECT 1";
  drv_->host = "127.0.0.1";
  drv_->user = "root";
  static_cast<mysql_converter_impl&>(*drv_).password = "p=w";
  drv_->port = "3307";
  drv_->dump_new_version = true;
  drv_->blob_to_text = true;
  drv_->server = u"127.0.0.1,1433";
  drv_->login = u"sa";
  static_cast<mssql_converter_impl&>(*drv_).password = u"S3cret";
  drv_->windows_authentication = false;
  udb_profile stored;
  ASSERT_TRUE(drv_->store_profile(stored));
  EXPECT_EQ(stored.get(u"Generic settings", u"mode"), u"3");
  EXPECT_EQ(stored.get(u"Selected Tables", u"actor"), u"");
  EXPECT_EQ(stored.section(u"Selected Tables").size(), 3u);

  char tmpl[] = "/tmp/drv_profile_XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::u16string path = tk_utf8_to_wide(dir + "/p.qvx");
  ASSERT_TRUE(stored.store(path));
  udb_profile loaded;
  ASSERT_TRUE(loaded.load(path));
  std::system(("rm -rf " + dir).c_str());

  udb_profile again;
  // A fresh driver of other settings takes every one of them.
  drv_->selected_tables = {u"stale"};
  drv_->queries.clear();
  drv_->available_queries.clear();
  drv_->src_db = drv_->dest_db = u"";
  drv_->set_mode(0);
  drv_->skip_indexes = false;
  drv_->host = drv_->user = drv_->port = "";
  static_cast<mysql_converter_impl&>(*drv_).password = "";
  drv_->dump_new_version = drv_->blob_to_text = false;
  drv_->server = drv_->login = u"";
  static_cast<mssql_converter_impl&>(*drv_).password = u"";
  drv_->windows_authentication = true;
  ASSERT_TRUE(drv_->load_profile(loaded));
  ASSERT_TRUE(drv_->store_profile(again));
  EXPECT_EQ(again.sections(), stored.sections());
  EXPECT_EQ(drv_->selected_tables, (std::vector<std::u16string>{u"actor", u"film"}));
  EXPECT_EQ(drv_->mode, 3);

  // "skip indexes" is on for any text but "0"; "connect as DBO" only for "1"; a two-digit mode
  // changes nothing.
  udb_profile odd;
  odd.set(u"Generic settings", u"skip indexes", u"no");
  odd.set(u"Generic settings", u"mode", u"12");
  odd.set(u"MS SQL Server settings", u"connect as DBO", u"yes");
  odd.set(u"MS SQL Server settings", u"server", u"other");
  drv_->skip_indexes = false;
  drv_->load_profile(odd);
  EXPECT_TRUE(drv_->skip_indexes);
  EXPECT_EQ(drv_->mode, 3);
  EXPECT_FALSE(drv_->mssql_engine().as_dbo());
  EXPECT_EQ(drv_->login, u"sa");  // a profile naming only the server keeps the login
  EXPECT_EQ(drv_->host, "");      // the host always comes from the profile: local
}
