#include "utility/module/photo/photo_forms.h"

#include <glog/logging.h>

#include <algorithm>
#include <vector>

#include "utility/module/photo/photo_version.h"

namespace {

constexpr int kLastOldFormKey = 5;

}  // namespace

PhotoForms::PhotoForms() {
  const std::array<std::pair<Form, Form>, 3> forms = {{
      {&CameraRollOldForm, &CameraRollNewForm},
      {&AlbumListOldForm, &AlbumListNewForm},
      {&AlbumPhotosOldForm, &AlbumPhotosNewForm},
  }};
  for (size_t query = 0; query < forms.size(); ++query) {
    for (int key = kFirstVersionKey; key <= kLastVersionKey; ++key) {
      tables_[query][key] = key <= kLastOldFormKey ? forms[query].first : forms[query].second;
    }
  }
}

PhotoForms::Form PhotoForms::Remembered(PhotoQuery query, const std::string& version) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = remembered_[Index(query)].find(version);
  return it == remembered_[Index(query)].end() ? nullptr : it->second;
}

int PhotoForms::Run(PhotoQuery query, const PhotoRequest& request, PhotoSink& sink) {
  if (query == PhotoQuery::kAlbumPhotos && (request.album_type < 0 || request.album_type > 8)) {
    LOG(ERROR) << "Unknown album type " << request.album_type;
    return kPhotoBadAlbumType;
  }
  if (Form form = Remembered(query, request.product_version); form != nullptr) return form(request, sink);
  int result = kDbBadStatement;
  std::vector<Form> tried;
  for (int key : CandidateVersionKeys(request.product_version)) {
    Form form = tables_[Index(query)].at(key);
    // Several keys share a form; one that failed on this database fails again.
    if (std::find(tried.begin(), tried.end(), form) != tried.end()) continue;
    tried.push_back(form);
    sink.Restart();
    result = form(request, sink);
    if (result == 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      remembered_[Index(query)][request.product_version] = form;
      return result;
    }
    if (result == kPhotoQueryStopped) return result;
  }
  LOG(ERROR) << "No photo query form fits " << request.path << " (iOS " << request.product_version
             << "): " << result;
  return result;
}
