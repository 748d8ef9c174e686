// File-name splitting and file checks. Paths are split from their absolute form into
// extension (with its dot), drive (always empty here), file name and directory (with its
// trailing separator).
#pragma once

#include <string>

class tk_file_wname {
 public:
  // An empty path stands for the program's own path, with an empty file-name part.
  void initialize(const std::u16string& path);

  const std::u16string& ext() const { return ext_; }
  const std::u16string& drive() const { return drive_; }
  const std::u16string& fname() const { return fname_; }
  const std::u16string& dir() const { return dir_; }
  // Drive followed by directory.
  std::u16string directory() const { return drive_ + dir_; }

 private:
  std::u16string ext_, drive_, fname_, dir_;
};

class tk_file_name {
 public:
  void initialize(const std::string& path);

  const std::string& ext() const { return ext_; }
  const std::string& drive() const { return drive_; }
  const std::string& fname() const { return fname_; }
  const std::string& dir() const { return dir_; }
  std::string directory() const { return drive_ + dir_; }

 private:
  std::string ext_, drive_, fname_, dir_;
};

// The running program's own full path.
std::string tk_module_path();

// True when the file opens for reading (access 0) or for reading and writing (access 1). A
// directory, or a file that exists but cannot be opened, counts as not existing. A file without
// any write permission bit counts as read-only even for a user who could override it.
bool tk_is_file_exist(const std::string& name, int access = 0);
bool tk_is_file_exist(const std::u16string& name, int access = 0);
// True when the process could make the path its current directory; empty = current directory.
bool tk_is_path_exist(const std::string& path);
bool tk_is_path_exist(const std::u16string& path);
