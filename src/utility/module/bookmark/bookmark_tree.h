// BookmarkTree: the device's bookmarks and folders as a tree, built from the records of a read session.
//
// Every record of the class is a node: {"id","name","url","com_apple_syncservices_RecordEntityName",
// "position":n,"children":[...]} ("url" empty for folders, "position" the device's integer, 0 when it has none,
// "children" always present). A node hangs under the node its "parent" names (the first identifier).
// Siblings, and the roots, come in the order of their "position", ties in the order the device sent them. A node
// whose parent is no record of the device (an orphan) is shown as a root rather than lost, and so is a node of a
// parent cycle that no root reaches (the cycle is cut at the node that arrived first), so every record appears
// exactly once.
//
// Thread safety: one tree belongs to one command.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "utility/ios/device_link.h"

class BookmarkTree {
 public:
  void TakeBatch(const DeviceLinkMessage& batch);

  size_t node_count() const { return nodes_.size(); }
  // The JSON text of each root with its whole subtree, roots in order.
  void WriteRoots(const std::function<void(const std::string& json)>& root) const;

 private:
  struct Node {
    std::string id;
    std::string name;
    std::string url;
    std::string entity;
    int64_t position = 0;
    std::string parent;  // "" for none
  };
  std::vector<Node> nodes_;
  std::unordered_map<std::string, size_t> index_;  // id -> position in nodes_
};
