#pragma once

// A scratch program folder for one test: the eight library file names link to the
// libraries of a source folder (the scriptable fakes, or the real libraries of the
// build), and the program looks there for its libraries and its settings file, so that
// nothing a window writes lands in the build tree.

#include <string>

#include "tests/support/ScratchFolder.h"

namespace kv::testing {

// The folders the links may point into.
std::string FakeLibraryFolder();  // the scriptable fake under every kind's name
std::string RealLibraryFolder();  // the build's own eight libraries

class ProgramFolder {
  public:
    explicit ProgramFolder(const std::string& libraries = FakeLibraryFolder());
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    bool ok() const { return ok_; }
    const std::string& path() const { return folder_.Path(); }
    std::string ini() const { return folder_.File("W_kv3380u.ini"); }
    std::string ReadIni() const { return ReadBytes(ini()); }
    void WriteIni(const std::string& bytes) const { WriteBytes(ini(), bytes); }

  private:
    ScratchFolder folder_;
    bool ok_ = false;
};

}  // namespace kv::testing
