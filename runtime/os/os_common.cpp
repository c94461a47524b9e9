// The parts of os.h made of the other calls alone, the same on both sides.
#include <string>
#include <vector>

#include "runtime/os/os.h"

namespace os {

bool remove_tree(const std::string& path) {
  switch (entry_kind(path)) {
    case FileKind::kNone:
      return true;
    case FileKind::kFolder: {
      std::vector<std::string> names;
      std::string reason;
      if (list_folder(path, names, reason))
        for (const std::string& name : names) remove_tree(path + "/" + name);
      return remove_folder(path);
    }
    default:
      // A link to a folder is a folder to Windows' removal calls, and a file to POSIX's.
      return remove_file(path) || remove_folder(path) || entry_kind(path) == FileKind::kNone;
  }
}

MoveResult move_together(const std::vector<std::pair<std::string, std::string>>& moves,
                         const std::vector<std::string>& remove, const std::string& keep_folder) {
  MoveResult result;
  std::string reason;
  if (!make_folder(keep_folder, reason)) {
    result.reason = keep_folder + ": cannot make a folder: " + reason;
    return result;
  }
  // What each name held goes aside under a number of its own (set_aside[i] came from names[i]).
  std::vector<std::string> names;
  for (const auto& move : moves) names.push_back(move.second);
  names.insert(names.end(), remove.begin(), remove.end());
  std::vector<std::pair<std::string, std::string>> set_aside, moved;
  bool ok = true;
  for (const std::string& name : names) {
    if (entry_kind(name) == FileKind::kNone) continue;
    const std::string aside = keep_folder + "/" + std::to_string(set_aside.size());
    if (!rename_entry(name, aside, reason)) {
      result.reason = name + ": cannot move the earlier file aside: " + reason;
      ok = false;
      break;
    }
    set_aside.push_back({name, aside});
  }
  for (size_t i = 0; ok && i < moves.size(); ++i) {
    if (!replace_file(moves[i].first, moves[i].second, reason)) {
      result.reason = moves[i].second + ": cannot move the finished file into place: " + reason;
      ok = false;
      break;
    }
    moved.push_back(moves[i]);
  }
  if (!ok) {
    // Back as it was: the new files to where they came from, then the earlier ones to their names.
    for (auto it = moved.rbegin(); it != moved.rend(); ++it)
      if (!rename_entry(it->second, it->first, reason)) result.restored = false;
    for (auto it = set_aside.rbegin(); it != set_aside.rend(); ++it)
      if (!rename_entry(it->second, it->first, reason)) result.restored = false;
  }
  result.moved = ok;
  if (result.restored) remove_tree(keep_folder);
  return result;
}

}  // namespace os
