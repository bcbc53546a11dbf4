#include "mux_session.h"

#include <vector>

#include "builtin_services.h"
#include "devicesim/faults.h"
#include "plist_util.h"
#include "usbmux_wire.h"

namespace devicesim {
namespace {

bool Reply(Stream& stream, uint32_t tag, const Value& body) {
  PlistPtr node(ToPlist(body));
  std::string packet = BuildUsbmuxPacket(tag, ToXml(node.get()));
  return stream.Write(packet.data(), packet.size());
}

bool ReplyResult(Stream& stream, uint32_t tag, int number) {
  Value body = Value::Dict();
  body.Set("MessageType", "Result");
  body.Set("Number", number);
  return Reply(stream, tag, body);
}

// Runs the service behind a Connect on this socket, with the fault armed for it, until the connection ends.
void RunTunnel(Hub& hub, const std::shared_ptr<Device>& device, const std::string& service_name,
               std::unique_ptr<Service> service, Stream& stream) {
  {
    std::lock_guard<std::mutex> lock(device->mutex);
    if (device->device_id == 0) return;  // detached meanwhile
    device->tunnel_fds.insert(stream.fd());
  }
  ServiceFault fault = device->TakeFault(service_name);
  switch (fault.kind) {
    case FaultKind::kStall:
      stream.DrainUntilClosed();
      break;
    case FaultKind::kEmptyMessage:
      stream.Write("\0\0\0\0", 4);
      break;
    case FaultKind::kMalformed:
    case FaultKind::kOversized: {
      std::string answer = service->BrokenAnswer(fault.kind == FaultKind::kOversized);
      stream.Write(answer.data(), answer.size());
      break;
    }
    default: {
      if (fault.kind == FaultKind::kDropAfterBytes) stream.LimitOutput(fault.bytes);
      ServiceContext context{hub, device, stream, service_name};
      service->Serve(context);
      break;
    }
  }
  std::lock_guard<std::mutex> lock(device->mutex);
  device->tunnel_fds.erase(stream.fd());
}

// Answers Connect; on success the socket becomes the tunnel and this returns when it ends. False ends the
// connection.
bool HandleConnect(Hub& hub, Stream& stream, uint32_t tag, plist_t request) {
  uint32_t device_id = static_cast<uint32_t>(DictUint(request, "DeviceID").value_or(0));
  uint16_t port = PortFromWire(DictUint(request, "PortNumber").value_or(0));
  std::shared_ptr<Device> device = hub.FindById(device_id);
  std::map<std::string, std::string> args{{"DeviceID", std::to_string(device_id)}, {"PortNumber", std::to_string(port)}};
  if (!device) {
    hub.Record(Request{"", "usbmuxd", "Connect", args});
    return ReplyResult(stream, tag, kUsbmuxResultBadDevice);
  }
  std::string service_name;
  bool refused = false;
  {
    std::lock_guard<std::mutex> lock(device->mutex);
    if (device->refuse_connects > 0) {
      --device->refuse_connects;
      refused = true;
    } else if (port == kLockdownPort) {
      service_name = kLockdownServiceName;
    } else if (auto it = device->open_ports.find(port); it != device->open_ports.end()) {
      service_name = it->second;
      device->open_ports.erase(it);  // a service port takes one connection, as on a device
    } else {
      refused = true;
    }
  }
  args["Service"] = service_name;
  hub.Record(Request{device->udid, "usbmuxd", "Connect", args});
  if (refused) return ReplyResult(stream, tag, kUsbmuxResultConnectionRefused);
  std::unique_ptr<Service> service =
      service_name == kLockdownServiceName ? MakeLockdownService() : hub.services.Create(service_name);
  if (!service) return ReplyResult(stream, tag, kUsbmuxResultConnectionRefused);
  if (!ReplyResult(stream, tag, kUsbmuxResultOk)) return false;
  RunTunnel(hub, device, service_name, std::move(service), stream);
  return false;
}

void HandleListen(Hub& hub, Stream& stream, uint32_t tag) {
  if (!ReplyResult(stream, tag, kUsbmuxResultOk)) return;
  auto listener = std::make_shared<Listener>(stream.fd());
  hub.AddListener(listener);
  // The client only reads from here on; its closing ends the subscription.
  stream.DrainUntilClosed();
  hub.RemoveListener(listener.get());
  listener->Close();
}

Value DeviceList(Hub& hub) {
  Value list = Value::Array();
  for (const auto& device : hub.Devices()) {
    uint32_t device_id = 0;
    {
      std::lock_guard<std::mutex> lock(device->mutex);
      device_id = device->device_id;
    }
    if (device_id != 0) list.Append(Hub::AttachedRecord(*device, device_id));
  }
  Value body = Value::Dict();
  body.Set("DeviceList", std::move(list));
  return body;
}

}  // namespace

void ServeMuxClient(Hub& hub, int fd) {
  Stream stream(fd, hub.stopping);
  std::vector<char> body;
  for (;;) {
    unsigned char raw[kUsbmuxHeaderSize];
    UsbmuxHeader header;
    if (!stream.ReadExact(raw, sizeof(raw)) || !ParseUsbmuxHeader(raw, &header)) return;
    body.resize(header.length - kUsbmuxHeaderSize);
    if (!stream.ReadExact(body.data(), body.size())) return;
    PlistPtr request = header.message == kUsbmuxPlistType ? ParsePlist(body.data(), body.size()) : nullptr;
    std::string type = DictString(request.get(), "MessageType").value_or("");
    std::string udid = DictString(request.get(), "PairRecordID").value_or("");
    if (type != "Connect") hub.Record(Request{udid, "usbmuxd", type.empty() ? "binary" : type, {}});

    bool keep_going = true;
    if (type == "ListDevices") {
      keep_going = Reply(stream, header.tag, DeviceList(hub));
    } else if (type == "Listen") {
      HandleListen(hub, stream, header.tag);
      return;
    } else if (type == "ReadBUID") {
      Value answer = Value::Dict();
      answer.Set("BUID", hub.buid());
      keep_going = Reply(stream, header.tag, answer);
    } else if (type == "ReadPairRecord") {
      std::optional<std::string> record = hub.ReadPairRecord(udid);
      if (record) {
        Value answer = Value::Dict();
        answer.Set("PairRecordData", Value::Data(*record));
        keep_going = Reply(stream, header.tag, answer);
      } else {
        keep_going = ReplyResult(stream, header.tag, kUsbmuxResultBadDevice);
      }
    } else if (type == "SavePairRecord") {
      plist_t data = request ? plist_dict_get_item(request.get(), "PairRecordData") : nullptr;
      if (udid.empty() || !data || plist_get_node_type(data) != PLIST_DATA) {
        keep_going = ReplyResult(stream, header.tag, kUsbmuxResultBadCommand);
      } else {
        uint64_t size = 0;
        const char* bytes = plist_get_data_ptr(data, &size);
        keep_going = ReplyResult(stream, header.tag, kUsbmuxResultOk);
        hub.SavePairRecord(udid, std::string(bytes, size));
      }
    } else if (type == "DeletePairRecord") {
      hub.DeletePairRecord(udid);
      keep_going = ReplyResult(stream, header.tag, kUsbmuxResultOk);
    } else if (type == "Connect") {
      keep_going = HandleConnect(hub, stream, header.tag, request.get());
    } else {
      keep_going = ReplyResult(stream, header.tag, kUsbmuxResultBadCommand);
    }
    if (!keep_going) return;
  }
}

}  // namespace devicesim
