#pragma once

#include <string>

namespace vidorel {

// The user's folders as the desktop names them (XDG user dirs: $XDG_CONFIG_HOME/user-dirs.dirs,
// e.g. XDG_VIDEOS_DIR="$HOME/Videos"). Videos and pictures fall back to documents, documents
// to $HOME. No trailing "/".
std::string UserVideosFolder();
std::string UserPicturesFolder();
std::string UserDocumentsFolder();
std::string HomeFolder();
// $XDG_DATA_HOME (~/.local/share when unset).
std::string UserDataFolder();

// Folder of the running executable, without a trailing "/".
std::string ExecutableFolder();
std::string ExecutablePath();

// The installed layout's path from the executables' folder to the plug-in folder, for example
// "../lib/x86_64-linux-gnu/vidorel/plugins".
std::string InstalledPluginPathFromBin();

// Where plug-in modules are looked for when the user has not chosen a folder: for an installed
// copy, the plug-in folder of its own prefix (<prefix>/lib/<arch>/vidorel/plugins, found from
// `executableFolder` through `fromBin`, the installed layout's path from bin to it) when that
// folder exists; otherwise (a build tree) the executable's own folder. No trailing "/".
std::string DefaultPluginFolder(const std::string& executableFolder,
                                const std::string& fromBin = InstalledPluginPathFromBin());

} // namespace vidorel
