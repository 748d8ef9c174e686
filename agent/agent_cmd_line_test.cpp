#include "agent_cmd_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "error_handler.h"
#include "mss_engi.h"
#include "mss_msgs.h"
#include "tarvex_convertor.h"
#include "tk_exception.h"
#include "tk_string.h"
#include "udb_profile.h"

namespace {

class cmd_line_test : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/agent_cl_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

  bool parse(std::vector<std::string> args) {
    args.insert(args.begin(), "qvxagent");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    return parse_cmd_line(static_cast<int>(argv.size()), argv.data());
  }
  std::string write(const std::string& name, const std::string& bytes) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  mssql_converter_impl& mssql() { return *drv_; }
  mysql_converter_impl& mysql() { return *drv_; }

  std::string dir_;
  std::unique_ptr<error_handler> handler_ =
      std::make_unique<error_handler>(mss_error_item_count, mss_error_items);
  std::unique_ptr<tarvex_convertor> drv_ = std::make_unique<tarvex_convertor>(true);
};

}  // namespace

TEST_F(cmd_line_test, options_write_the_driver_settings) {
  ASSERT_TRUE(parse({"--src=sakila", "--dest=sak dest", "--mode=3", "--blob2text", "--skip_idx",
                     "--tab_def", "--views", "--as_dbo", "--mysqlh=db", "--mysqlu=root",
                     "--mysqlp= pw ", "--port= 3307 ", "--mssqlh=127.0.0.1,1433", "--mssqlu=sa"}));
  EXPECT_EQ(drv_->src_db, u"sakila");
  EXPECT_EQ(drv_->dest_db, u"sak dest");
  EXPECT_EQ(drv_->mode, 3);
  EXPECT_TRUE(drv_->blob_to_text && drv_->skip_indexes && drv_->only_definitions &&
              drv_->convert_views);
  EXPECT_TRUE(drv_->mssql_engine().as_dbo());
  EXPECT_EQ(mysql().host, "db");
  EXPECT_EQ(mysql().user, "root");
  EXPECT_EQ(mysql().password, "pw");
  EXPECT_EQ(mysql().port, "3307");
  EXPECT_EQ(mssql().server, u"127.0.0.1,1433");
  EXPECT_EQ(mssql().login, u"sa");
  EXPECT_EQ(mssql().password, u"");
  EXPECT_FALSE(mssql().windows_authentication);  // a login alone: SQL Server authentication
}

TEST_F(cmd_line_test, defaults_and_windows_authentication) {
  ASSERT_TRUE(parse({"--src=a", "--dest=b", "--mssqlh=srv", "--port="}));
  EXPECT_EQ(drv_->mode, 0);
  EXPECT_TRUE(mssql().windows_authentication);
  EXPECT_EQ(mysql().port, "3306");
  EXPECT_EQ(mysql().host, "");
}

TEST_F(cmd_line_test, modes_zero_to_four_are_taken_in_plain_form_only) {
  for (const char* good : {"0", "1", "2", "3", "4"}) {
    ASSERT_TRUE(parse({"--src=a", "--dest=b", std::string("--mode=") + good}));
    EXPECT_EQ(drv_->mode, good[0] - '0');
  }
  for (const char* bad : {"03", "-1", "x", "", " 2", "+2", "5", "99999999999999999999"}) {
    EXPECT_EXIT(parse({"--src=a", "--dest=b", std::string("--mode=") + bad}),
                testing::ExitedWithCode(255), "^Invalid merge/overwrite mode\n$")
        << bad;
  }
}

TEST_F(cmd_line_test, missing_names_and_unrecognised_arguments) {
  EXPECT_EXIT(parse({"--dest="}), testing::ExitedWithCode(255),
              "^You should enter source MySQL database name\n$");
  EXPECT_EXIT(parse({"--src=a", "--dest="}), testing::ExitedWithCode(255),
              "^You should enter destination MS SQL database name\n$");
  EXPECT_FALSE(parse({"--src=a", "--dest=b", "--tab_file"}));
  std::vector<std::string> twenty(20, "junk");
  EXPECT_FALSE(parse(twenty));
}

TEST_F(cmd_line_test, help_and_silence) {
  EXPECT_EXIT(parse({"--help"}), testing::ExitedWithCode(255), "^QVXAGENT v5\\.1, ");
  EXPECT_EXIT(parse({"--silent", "--help"}), testing::ExitedWithCode(255), "^$");
  // Silence acts from where it stands: a message of an argument before it is still printed.
  EXPECT_EXIT(parse({"--mode=9", "--silent"}), testing::ExitedWithCode(255), "Invalid merge");
  EXPECT_EXIT(parse({"--silent", "--src=a"}), testing::ExitedWithCode(255), "^$");
  std::string usage = usage_text();
  EXPECT_EQ(usage.rfind("QVXAGENT v5.1, ", 0), 0u);
  EXPECT_NE(usage.find("\n                  3 - merge, 4 - synchronize)\n"), std::string::npos);
  EXPECT_EQ(usage.substr(usage.size() - 13), "will be used.");
}

TEST_F(cmd_line_test, table_list_file_with_and_without_byte_order_mark) {
  std::string ansi = write("ansi.txt", "actor\r\n\r\n film \nfilm_text");
  std::string bom = write("bom.txt",
                          "\xEF\xBB\xBF"
                          "actor\n\n film \r\nfilm_text\n");
  std::string utf8 = write("utf8.txt", "\xEF\xBB\xBF\n\xC3\xA9t\xC3\xA9\nactor\nactor\n");
  std::vector<std::u16string> expect = {u"actor", u" film ", u"film_text"};
  process_tab_file(ansi);
  EXPECT_EQ(drv_->selected_tables, expect);
  process_tab_file(bom);
  EXPECT_EQ(drv_->selected_tables, expect);
  process_tab_file(utf8);  // a line holding only the mark; duplicates kept
  EXPECT_EQ(drv_->selected_tables,
            (std::vector<std::u16string>{u"\u00e9t\u00e9", u"actor", u"actor"}));
  process_tab_file(write("long.txt", std::string(300, 'x') + "\nshort\n"));
  EXPECT_EQ(drv_->selected_tables,
            (std::vector<std::u16string>{std::u16string(254, u'x'), u"short"}));
  EXPECT_EXIT(process_tab_file(dir_ + "/none.txt"), testing::ExitedWithCode(255),
              "^Table names file does not exist.\nPlease verify the correct path/name was "
              "given.\n$");
}

TEST_F(cmd_line_test, profile_and_other_options_act_in_their_order) {
  udb_profile p;
  p.set(u"Generic settings", u"src", u"from_profile");
  p.set(u"Generic settings", u"dest", u"dest_profile");
  p.set(u"Selected Tables", u"t_profile", u"");
  p.set(u"MS SQL Server settings", u"server", u"profile_server");
  p.set(u"MS SQL Server settings", u"login", u"sa");
  p.set(u"MS SQL Server settings", u"windows authentication", u"0");
  p.set(u"MySQL settings", u"port", u"3310");
  std::string profile = dir_ + "/p.qvx";
  ASSERT_TRUE(p.store(tk_utf8_to_wide(profile)));
  std::string tabs = write("tabs.txt", "t_file\n");

  ASSERT_TRUE(parse(
      {"--src=cmd", "--tab_file=" + tabs, "--profile=" + profile, "--mssqlh=ignored", "--port=1"}));
  EXPECT_EQ(drv_->src_db, u"from_profile");
  EXPECT_EQ(drv_->selected_tables, (std::vector<std::u16string>{u"t_profile"}));
  // With a profile the remembered connection values are dropped.
  EXPECT_EQ(mssql().server, u"profile_server");
  EXPECT_EQ(mysql().port, "3310");

  ASSERT_TRUE(parse({"--profile=" + profile, "--src=cmd", "--tab_file=" + tabs}));
  EXPECT_EQ(drv_->src_db, u"cmd");
  EXPECT_EQ(drv_->selected_tables, (std::vector<std::u16string>{u"t_file"}));

  EXPECT_THROW(parse({"--profile=" + dir_ + "/missing.qvx"}), tk_exception);
  EXPECT_THROW(parse({"--src=a", "--logfile=" + dir_ + "/no/such/dir/x.log"}), tk_exception);
}
