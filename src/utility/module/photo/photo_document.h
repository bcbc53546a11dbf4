// The query result as one JSON document, for the plug-ins that ask for it by name: {"photos":[..]} for the camera
// roll and an album's photos, {"albums":[..]} for the album list; the objects as photo_records.h writes them.
//
// Thread safety: one collector belongs to one thread.
#pragma once

#include <string>

#include <rapidjson/document.h>

#include "utility/module/photo/photo_forms.h"

// Reads a query request; false unless the text is a JSON object with a text "path". "productVersion" (text),
// "albumId" and "albumType" (integers) are optional; a missing album type is 0.
bool ParsePhotoRequest(const std::string& text, PhotoRequest* request);

// Runs the query through `forms` and builds the result into *result. The query's result code.
int QueryPhotoDocument(PhotoForms& forms, PhotoQuery query, const PhotoRequest& request,
                       rapidjson::Document* result);
