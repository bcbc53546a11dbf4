#include "utility/module/photo/photo_document.h"

#include "utility/command_payload.h"

namespace {

// Gathers the objects' JSON texts into one array text; parsed once at the end.
class DocumentSink : public PhotoSink {
 public:
  bool Photo(PhotoRecord& photo) override { return Append(PhotoJson(photo)); }
  bool Album(const AlbumRecord& album) override { return Append(AlbumJson(album)); }
  void Restart() override { items_.clear(); }
  const std::string& items() const { return items_; }

 private:
  bool Append(const std::string& json) {
    if (!items_.empty()) items_ += ',';
    items_ += json;
    return true;
  }
  std::string items_;
};

int64_t IntegerMember(const rapidjson::Value& object, const char* key) {
  auto member = object.FindMember(key);
  return member != object.MemberEnd() && member->value.IsInt64() ? member->value.GetInt64() : 0;
}

}  // namespace

bool ParsePhotoRequest(const std::string& text, PhotoRequest* request) {
  rapidjson::Document json;
  if (!ParseJsonObject(text, &json)) return false;
  auto path = json.FindMember("path");
  if (path == json.MemberEnd() || !path->value.IsString()) return false;
  request->path = JsonText(json, "path");
  request->product_version = JsonText(json, "productVersion");
  request->album_id = IntegerMember(json, "albumId");
  int64_t type = IntegerMember(json, "albumType");
  request->album_type = type >= 0 && type <= 8 ? static_cast<int>(type) : -1;
  return true;
}

int QueryPhotoDocument(PhotoForms& forms, PhotoQuery query, const PhotoRequest& request,
                       rapidjson::Document* result) {
  DocumentSink sink;
  int code = forms.Run(query, request, sink);
  if (code != 0) return code;
  std::string text = std::string(query == PhotoQuery::kAlbumList ? "{\"albums\":[" : "{\"photos\":[") +
                     sink.items() + "]}";
  result->Parse(text.data(), text.size());
  return result->HasParseError() ? kDbBadStatement : 0;
}
