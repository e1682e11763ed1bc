#include "atomic_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "scenario_fixture.h"

namespace {

std::string contents(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(AtomicFile, AFailingWriterLeavesTheOldFileAndNoTemporary) {
  scenario::ScratchDirectory directory("atomic-file");
  std::string path = directory.file("out.wav");
  std::ofstream(path) << "old";
  std::string temporaryName;
  std::string error = writeAtomically(path, [&](const std::string& temporary) {
    temporaryName = temporary;
    std::ofstream(temporary) << "half";
    return std::string("disk full");
  });
  EXPECT_EQ(error, path + ": disk full");
  EXPECT_EQ(contents(path), "old");
  EXPECT_EQ(directory.entries(), std::vector<std::string>{"out.wav"}) << "the temporary " << temporaryName;
}

TEST(AtomicFile, ASucceedingWriterReplacesTheFileWhole) {
  scenario::ScratchDirectory directory("atomic-file");
  std::string path = directory.file("out.wav");
  std::ofstream(path) << "old";
  std::string error = writeAtomically(path, [&](const std::string& temporary) {
    EXPECT_EQ(contents(path), "old") << "the target is untouched while the temporary is written";
    std::ofstream(temporary) << "new";
    return std::string();
  });
  EXPECT_EQ(error, "");
  EXPECT_EQ(contents(path), "new");
  EXPECT_EQ(directory.entries(), std::vector<std::string>{"out.wav"});
}

}  // namespace
