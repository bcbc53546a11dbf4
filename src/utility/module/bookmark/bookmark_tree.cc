#include "utility/module/bookmark/bookmark_tree.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>

#include "utility/sync/sync_records.h"

using Writer = RecordWriter;

void BookmarkTree::TakeBatch(const DeviceLinkMessage& batch) {
  ForEachRecord(batch, [this](const std::string& id, const PlistValue& record) {
    Node node{id,
              record.FindString("name").value_or(""),
              record.FindString("url").value_or(""),
              RecordEntity(record),
              record.FindInteger("position").value_or(0),
              ""};
    std::vector<std::string> parents = LinkIds(record, "parent");
    if (!parents.empty()) node.parent = parents.front();
    auto [it, added] = index_.try_emplace(id, nodes_.size());
    if (added) {
      nodes_.push_back(std::move(node));
    } else {
      nodes_[it->second] = std::move(node);
    }
  });
}

void BookmarkTree::WriteRoots(const std::function<void(const std::string& json)>& root) const {
  auto by_position = [this](size_t a, size_t b) { return nodes_[a].position < nodes_[b].position; };
  std::vector<std::vector<size_t>> children(nodes_.size());
  std::vector<size_t> candidates;  // nodes without a known parent
  for (size_t i = 0; i < nodes_.size(); ++i) {
    auto parent = nodes_[i].parent.empty() ? index_.end() : index_.find(nodes_[i].parent);
    if (parent == index_.end() || parent->second == i) {
      candidates.push_back(i);
    } else {
      children[parent->second].push_back(i);
    }
  }
  for (auto& list : children) std::stable_sort(list.begin(), list.end(), by_position);

  std::vector<bool> written(nodes_.size(), false);
  rapidjson::StringBuffer buffer;
  // Depth-first without recursion: a device's nesting can be deeper than a thread's stack.
  auto write_tree = [&](size_t top) {
    buffer.Clear();
    Writer writer(buffer);
    struct Frame {
      size_t node;
      size_t next_child;
    };
    std::vector<Frame> stack;
    auto open = [&](size_t i) {
      written[i] = true;
      const Node& node = nodes_[i];
      writer.StartObject();
      PutText(writer, "id", node.id);
      PutText(writer, "name", node.name);
      PutText(writer, "url", node.url);
      PutText(writer, "com_apple_syncservices_RecordEntityName", node.entity);
      writer.Key("position");
      writer.Int64(node.position);
      writer.Key("children");
      writer.StartArray();
      stack.push_back({i, 0});
    };
    open(top);
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.next_child < children[frame.node].size()) {
        size_t child = children[frame.node][frame.next_child++];
        if (!written[child]) open(child);
        continue;
      }
      writer.EndArray();
      writer.EndObject();
      stack.pop_back();
    }
    root(std::string(buffer.GetString(), buffer.GetSize()));
  };
  std::stable_sort(candidates.begin(), candidates.end(), by_position);
  for (size_t i : candidates) write_tree(i);
  // Nodes of a parent cycle: no root reaches them.
  for (size_t i = 0; i < nodes_.size(); ++i) {
    if (!written[i]) write_tree(i);
  }
}
