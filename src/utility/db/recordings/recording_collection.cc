#include "utility/db/recordings/recording_collection.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>

namespace recordings {

bool RecordingCollection::Add(Recording recording) {
  if (Contains(recording.path)) return false;
  index_.emplace(recording.path, records_.size());
  records_.push_back(std::move(recording));
  return true;
}

Recording* RecordingCollection::Find(const std::string& path) {
  auto it = index_.find(path);
  return it == index_.end() ? nullptr : &records_[it->second];
}

namespace {

void WriteRecording(const Recording& recording, rapidjson::Writer<rapidjson::StringBuffer>* writer) {
  // A stored value JSON cannot hold (NaN, infinity) is written as 0.0.
  auto finite = [](double value) { return std::isfinite(value) ? value : 0.0; };
  writer->StartObject();
  writer->Key("path");
  writer->String(recording.path.c_str(), static_cast<rapidjson::SizeType>(recording.path.size()));
  writer->Key("size");
  writer->Int64(recording.size);
  writer->Key("label");
  writer->String(recording.label.c_str(), static_cast<rapidjson::SizeType>(recording.label.size()));
  writer->Key("duration_int");
  writer->Double(finite(recording.duration_int));
  writer->Key("duration");
  writer->String(recording.duration.c_str(), static_cast<rapidjson::SizeType>(recording.duration.size()));
  writer->Key("date_int");
  writer->Double(finite(recording.date_int));
  writer->Key("date");
  writer->String(recording.date.c_str(), static_cast<rapidjson::SizeType>(recording.date.size()));
  writer->Key("source");
  writer->Int(recording.source);
  writer->EndObject();
}

}  // namespace

std::string RecordingJson(const Recording& recording) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  WriteRecording(recording, &writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string RecordingCollection::JsonArray() const {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartArray();
  for (const Recording& recording : records_) WriteRecording(recording, &writer);
  writer.EndArray();
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace recordings
