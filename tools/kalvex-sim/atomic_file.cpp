#include "atomic_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

std::string writeAtomically(const std::string& path, const std::function<std::string(const std::string&)>& write) {
  namespace fs = std::filesystem;
  fs::path target(path);
  fs::path directory = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  std::error_code code;
  if (!fs::is_directory(directory, code)) return path + ": directory " + directory.string() + " does not exist";
  if (fs::is_directory(target, code)) return path + ": is a directory";

  // The temporary name is unique to this process and to this call.
  static int serial = 0;
  std::string name = ".";
  name += target.filename().string();
  name += ".tmp-";
  name += std::to_string(getpid());
  name += "-";
  name += std::to_string(serial++);
  fs::path temporary = directory / name;
  std::string error = write(temporary.string());
  if (error.empty()) {
    fs::rename(temporary, target, code);
    if (code) error = "cannot rename the temporary file into place (" + code.message() + ")";
  }
  if (!error.empty()) {
    fs::remove(temporary, code);
    return path + ": " + error;
  }
  return "";
}
