#include "utility/zeb_utility.h"

#include "libbasic/bas_utility_string.h"

#include <openssl/evp.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <zlib.h>

#include <limits>
#include <memory>

namespace {

// One deflate state per thread and level, reset between uses: setting a stream up costs far more than
// compressing a small report with it.
class Deflater {
 public:
  explicit Deflater(int level) : ok_(deflateInit(&stream_, level) == Z_OK) {}
  ~Deflater() {
    if (ok_) deflateEnd(&stream_);
  }
  bool Compress(std::string_view data, std::string* out) {
    if (!ok_ || deflateReset(&stream_) != Z_OK) return false;
    out->resize(deflateBound(&stream_, static_cast<uLong>(data.size())));
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream_.avail_in = static_cast<uInt>(data.size());
    stream_.next_out = reinterpret_cast<Bytef*>(out->data());
    stream_.avail_out = static_cast<uInt>(out->size());
    if (deflate(&stream_, Z_FINISH) != Z_STREAM_END) return false;
    out->resize(stream_.total_out);
    return true;
  }

 private:
  z_stream stream_{};
  bool ok_;
};

}  // namespace

bool ZlibCompress(std::string_view data, int level, std::string* out) {
  if (level < 0 || level > 9 || data.size() > std::numeric_limits<uInt>::max()) return false;
  thread_local std::unique_ptr<Deflater> deflaters[10];
  if (!deflaters[level]) deflaters[level] = std::make_unique<Deflater>(level);
  if (deflaters[level]->Compress(data, out)) return true;
  out->clear();
  return false;
}

bool ZlibDecompress(std::string_view data, std::string* out, size_t limit) {
  out->clear();
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  char chunk[65536];
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    status = inflate(&stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) break;
    out->append(chunk, sizeof chunk - stream.avail_out);
    if (out->size() > limit) status = Z_MEM_ERROR;
    if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) status = Z_DATA_ERROR;  // cut short
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END) out->clear();
  return status == Z_STREAM_END;
}

Md5Stream::Md5Stream() : context_(EVP_MD_CTX_new()) { EVP_DigestInit_ex(context_, EVP_md5(), nullptr); }

Md5Stream::~Md5Stream() { EVP_MD_CTX_free(context_); }

void Md5Stream::Update(std::string_view bytes) { EVP_DigestUpdate(context_, bytes.data(), bytes.size()); }

std::string Md5Stream::Finish() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_, digest, &length);
  return bas::BASUtilityString::ToHex(digest, length);
}

std::string Md5Hex(std::string_view data) {
  Md5Stream md5;
  md5.Update(data);
  return md5.Finish();
}

std::string JsonQuote(std::string_view text) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  return std::string(buffer.GetString(), buffer.GetSize());
}
