#include "tk_fname.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

TEST(tk_fname, splits_the_absolute_path) {
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  tk_file_wname bare;
  bare.initialize(u"report.tar.gz");
  EXPECT_EQ(bare.ext(), u".gz");
  EXPECT_EQ(bare.fname(), u"report.tar");
  EXPECT_EQ(bare.dir(), std::u16string(cwd, cwd + strlen(cwd)) + u"/");
  EXPECT_EQ(bare.drive(), u"");

  tk_file_name p;
  p.initialize("/a/b/../c/./name");
  EXPECT_EQ(p.directory(), "/a/c/");
  EXPECT_EQ(p.fname(), "name");
  EXPECT_EQ(p.ext(), "");

  tk_file_name self;
  self.initialize("");
  EXPECT_EQ(self.fname(), "");
  EXPECT_EQ(self.directory() + "tk_test", tk_module_path());
}

TEST(tk_fname, file_and_path_checks) {
  char tmpl[] = "/tmp/tk_fname_XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::string file = dir + "/f.txt";
  std::ofstream(file) << "x";
  EXPECT_TRUE(tk_is_file_exist(file));
  EXPECT_TRUE(tk_is_file_exist(file, 1));
  chmod(file.c_str(), 0444);
  EXPECT_TRUE(tk_is_file_exist(file));
  EXPECT_FALSE(tk_is_file_exist(file, 1));
  EXPECT_FALSE(tk_is_file_exist(dir));  // a directory is no file
  EXPECT_FALSE(tk_is_file_exist(dir + "/missing"));
  EXPECT_TRUE(tk_is_path_exist(dir));
  EXPECT_TRUE(tk_is_path_exist(std::string()));
  EXPECT_FALSE(tk_is_path_exist(file));
  EXPECT_FALSE(tk_is_path_exist(dir + "/missing"));
  std::system(("rm -rf " + dir).c_str());
}
