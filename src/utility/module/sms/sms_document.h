// The messages query in its one-document form, for plug-ins: every conversation with its messages inline.
//
// Thread safety: each call opens its own connection and builds its own records; the document belongs to the
// caller.
#pragma once

#include <rapidjson/document.h>

// Reads the database named by the text member "path" of the object `document` and adds "chats" to it (see
// sms_json.h for its members). 0; or 19 or 20 (see sms_sqlite.h), and then the document is left as it was.
int QuerySmsDocument(rapidjson::Document* document);
