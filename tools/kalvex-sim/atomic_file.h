#pragma once
// Writing a file whole or not at all.
#include <functional>
#include <string>

// Calls `write` with the name of a fresh temporary file in the directory of
// `path`; when it returns "" the temporary file is renamed over `path`,
// otherwise it is removed. Returns "" or one error line naming `path`.
std::string writeAtomically(const std::string& path, const std::function<std::string(const std::string&)>& write);
