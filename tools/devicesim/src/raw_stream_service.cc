// A raw byte source and sink behind a service port, so benchmarks can measure the bare usbmuxd tunnel beside
// AFC on the same socket. Requests are 16 bytes: a little-endian operation (1: the device sends, 2: the device
// receives) and a little-endian byte count; a receive is acknowledged with the 8-byte count received.
#include <vector>

#include "afc_wire.h"
#include "builtin_services.h"
#include "hub.h"

namespace devicesim {
namespace {

constexpr size_t kChunk = 4 << 20;

class RawStreamService : public Service {
 public:
  void Serve(ServiceContext& context) override {
    std::vector<char> buffer(kChunk);
    while (!context.hub.stopping.load()) {
      unsigned char request[16];
      if (!context.stream.ReadExact(request, sizeof(request))) return;
      uint64_t operation = ReadLe64(request), count = ReadLe64(request + 8);
      context.Log(operation == 1 ? "Send" : operation == 2 ? "Receive" : "Unknown",
                  {{"Bytes", std::to_string(count)}});
      for (uint64_t done = 0; done < count;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, count - done));
        bool ok = operation == 1 ? context.stream.Write(buffer.data(), n)
                : operation == 2 ? context.stream.ReadExact(buffer.data(), n)
                                 : false;
        if (!ok) return;
        done += n;
      }
      if (operation == 2) {
        std::string ack;
        AppendLe64(&ack, count);
        if (!context.stream.Write(ack.data(), ack.size())) return;
      }
    }
  }
};

}  // namespace

std::unique_ptr<Service> MakeRawStreamService() { return std::make_unique<RawStreamService>(); }

}  // namespace devicesim
