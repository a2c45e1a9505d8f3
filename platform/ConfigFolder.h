#pragma once

// The user's configuration folder, and whether a folder can be written: where a
// program installed into a folder its user cannot write keeps its settings instead.

#include <string>

namespace kv::platform {

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config (the home folder of
// the user's account when HOME is unset), with a trailing separator; empty when none
// can be named.
std::string UserConfigFolder();

// True when files can be created and renamed in the folder by this process.
bool FolderWritable(const std::string& folder);

// Creates the folder and its missing parents (new ones private to the user, as the
// configuration folder should be); true when it exists afterwards.
bool MakeFolders(const std::string& folder);

bool FileExists(const std::string& path);

}  // namespace kv::platform
