#pragma once
// The folder a window's save dialogs open in: the current working directory until the user
// has chosen a file in this run, then the folder of the file chosen last. Never the
// program's own folder (/usr/bin once installed, where a user cannot write).
#include <string>

namespace evkit {

class SaveFolder {
  public:
    // The folder as an absolute path; empty when not even the working directory is known.
    std::string folder() const;
    // `fileName` inside folder(); folder() alone when `fileName` is empty.
    std::string suggest(const std::string& fileName) const;
    // Takes the folder of `chosenPath` (relative paths count from the working directory).
    void remember(const std::string& chosenPath);

  private:
    std::string last_;
};

}  // namespace evkit
