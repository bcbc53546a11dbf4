#include "devicesim/simulator.h"

#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "afc_paths.h"
#include "hub.h"
#include "mux_session.h"
#include "profile.h"

namespace devicesim {

class Simulator::Impl {
 public:
  RequestLog log;
  Hub hub{log};

  bool Start(const std::string& socket_path, std::string* error);
  void Stop();
  bool running() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
  }
  std::string socket_path() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return socket_path_;
  }

  // Finds the device or explains why not.
  std::shared_ptr<Device> Resolve(const std::string& name, std::string* error) const {
    std::shared_ptr<Device> device = hub.Find(name);
    if (!device) *error = "no device named " + name;
    return device;
  }

 private:
  void AcceptLoop(int listen_fd);
  void JoinFinishedLocked();

  mutable std::mutex mutex_;
  bool running_ = false;                       // guarded by mutex_
  std::string socket_path_;                    // guarded by mutex_
  int listen_fd_ = -1;                         // guarded by mutex_
  std::thread accept_thread_;                  // started and joined by Start/Stop only
  std::map<uint64_t, std::thread> workers_;    // guarded by mutex_; one per client connection
  std::vector<uint64_t> finished_;             // guarded by mutex_; workers that have returned
  uint64_t next_worker_ = 1;                   // guarded by mutex_
};

bool Simulator::Impl::Start(const std::string& socket_path, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (running_) {
    *error = "the simulator is running already";
    return false;
  }
  sockaddr_un address{};
  if (socket_path.empty() || socket_path.size() >= sizeof(address.sun_path)) {
    *error = "socket path is empty or longer than " + std::to_string(sizeof(address.sun_path) - 1) + " bytes";
    return false;
  }
  struct stat existing;
  if (::lstat(socket_path.c_str(), &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode)) {
      *error = socket_path + " exists and is not a socket";
      return false;
    }
    ::unlink(socket_path.c_str());
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, 128) != 0) {
    *error = "cannot listen on " + socket_path + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  hub.stopping = false;
  socket_path_ = socket_path;
  listen_fd_ = fd;
  running_ = true;
  // sendfile to a socket whose client has gone raises SIGPIPE; blocked in the accept thread, and so in every
  // connection thread it starts, it becomes an EPIPE error instead of ending the process.
  sigset_t pipe_signal, previous;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous);
  accept_thread_ = std::thread([this, fd] { AcceptLoop(fd); });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return true;
}

void Simulator::Impl::AcceptLoop(int listen_fd) {
  while (!hub.stopping.load()) {
    int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (hub.stopping.load()) return;
      if (errno == EINTR || errno == ECONNABORTED) continue;
      // Out of descriptors or memory: wait a little rather than spin.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    hub.TrackSocket(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    JoinFinishedLocked();
    uint64_t id = next_worker_++;
    // Created under the lock, so the worker's own bookkeeping at its end cannot run before its entry exists.
    workers_[id] = std::thread([this, fd, id] {
      ServeMuxClient(hub, fd);
      hub.ForgetSocket(fd);
      ::close(fd);
      std::lock_guard<std::mutex> done(mutex_);
      finished_.push_back(id);
    });
  }
}

void Simulator::Impl::JoinFinishedLocked() {
  for (uint64_t id : finished_) {
    auto it = workers_.find(id);
    if (it == workers_.end()) continue;
    it->second.join();
    workers_.erase(it);
  }
  finished_.clear();
}

void Simulator::Impl::Stop() {
  int listen_fd = -1;
  std::string path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_) return;
    running_ = false;
    listen_fd = listen_fd_;
    listen_fd_ = -1;
    path = socket_path_;
  }
  hub.stopping = true;
  hub.gates.ReleaseAll();  // a held request must not keep its thread from being joined
  ::shutdown(listen_fd, SHUT_RDWR);  // wakes accept()
  accept_thread_.join();
  ::close(listen_fd);
  hub.CutAllSockets();
  std::map<uint64_t, std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    workers.swap(workers_);
    finished_.clear();
  }
  for (auto& [id, worker] : workers) worker.join();
  ::unlink(path.c_str());
}

Simulator::Simulator() : impl_(std::make_unique<Impl>()) {}

Simulator::~Simulator() { Stop(); }

bool Simulator::Start(const std::string& socket_path, std::string* error) {
  return impl_->Start(socket_path, error);
}

void Simulator::Stop() { impl_->Stop(); }

bool Simulator::running() const { return impl_->running(); }

std::string Simulator::SocketAddress() const { return "UNIX:" + impl_->socket_path(); }

bool Simulator::AddProfile(const std::string& folder, bool attached, std::string* error) {
  Profile profile;
  if (!LoadProfile(folder, &profile, error)) return false;
  return impl_->hub.AddDevice(std::make_shared<Device>(std::move(profile)), attached, error);
}

bool Simulator::Attach(const std::string& name, std::string* error) {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  if (!impl_->hub.Attach(*device)) {
    *error = name + " is attached already";
    return false;
  }
  return true;
}

bool Simulator::Detach(const std::string& name, std::string* error) {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  if (!impl_->hub.Detach(*device)) {
    *error = name + " is not attached";
    return false;
  }
  return true;
}

bool Simulator::Trust(const std::string& name, std::string* error) {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  std::lock_guard<std::mutex> lock(device->mutex);
  device->trust = TrustState::kTrusted;
  return true;
}

bool Simulator::Deny(const std::string& name, std::string* error) {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  std::lock_guard<std::mutex> lock(device->mutex);
  device->trust = TrustState::kDenied;
  device->paired_hosts.clear();
  return true;
}

bool Simulator::Lock(const std::string& name, std::string* error) {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  std::lock_guard<std::mutex> lock(device->mutex);
  device->locked = true;
  return true;
}

bool Simulator::Unlock(const std::string& name, std::string* error) {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  std::lock_guard<std::mutex> lock(device->mutex);
  device->locked = false;
  return true;
}

bool Simulator::SetValue(const std::string& name, const std::string& domain, const std::string& key,
                         const Value& value, std::string* error) {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  if (key.empty()) {
    *error = "a value needs a key";
    return false;
  }
  device->SetValue(domain, key, value);
  return true;
}

bool Simulator::GetValue(const std::string& name, const std::string& domain, const std::string& key, Value* value,
                         std::string* error) const {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  std::optional<Value> found = device->GetValue(domain, key);
  if (!found) {
    *error = "no value " + key + (domain.empty() ? "" : " in " + domain);
    return false;
  }
  *value = std::move(*found);
  return true;
}

bool Simulator::GetDeviceName(const std::string& name, std::string* device_name, std::string* error) const {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  *device_name = device->DeviceName();
  return true;
}

bool Simulator::InstalledApps(const std::string& name, std::vector<std::string>* bundle_ids,
                              std::string* error) const {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  std::lock_guard<std::mutex> lock(device->mutex);
  bundle_ids->clear();
  for (const AppRecord& app : device->apps) bundle_ids->push_back(app.bundle_id);
  return true;
}

std::vector<DeviceStatus> Simulator::List() const {
  std::vector<DeviceStatus> list;
  for (const auto& device : impl_->hub.Devices()) {
    DeviceStatus status;
    std::string ignored;
    Status(device->profile.name, &status, &ignored);
    list.push_back(std::move(status));
  }
  return list;
}

bool Simulator::Status(const std::string& name, DeviceStatus* status, std::string* error) const {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  status->name = device->profile.name;
  status->udid = device->udid;
  status->device_name = device->DeviceName();
  std::lock_guard<std::mutex> lock(device->mutex);
  status->device_id = device->device_id;
  status->attached = device->device_id != 0;
  status->trust = device->trust;
  status->locked = device->locked;
  return true;
}

RequestLog& Simulator::Log() { return impl_->log; }

int Simulator::StallRequests(const RequestFilter& filter, size_t let_pass) {
  return impl_->hub.gates.Stall(filter, let_pass);
}

void Simulator::ReleaseStall(int stall) { impl_->hub.gates.Release(stall); }

bool Simulator::WaitStalled(int stall, size_t count, std::chrono::milliseconds timeout) {
  return impl_->hub.gates.WaitHeld(stall, count, timeout);
}

bool Simulator::RefuseConnects(const std::string& name, int count, std::string* error) {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  std::lock_guard<std::mutex> lock(device->mutex);
  device->refuse_connects = count;
  return true;
}

bool Simulator::SetServiceFault(const std::string& name, const std::string& service, const ServiceFault& fault,
                                std::string* error) {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  std::lock_guard<std::mutex> lock(device->mutex);
  if (fault.kind == FaultKind::kNone || fault.times == 0) {
    device->faults.erase(service);
  } else {
    device->faults[service] = fault;
  }
  return true;
}

bool Simulator::SetBackupFault(const std::string& name, const BackupFault& fault, std::string* error) {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  std::lock_guard<std::mutex> lock(device->mutex);
  device->backup_fault = fault;
  return true;
}

bool Simulator::SetHostileListing(const std::string& name, const std::string& afc_folder, std::string* error) {
  std::shared_ptr<Device> device = impl_->Resolve(name, error);
  if (!device) return false;
  std::string normalized;
  if (!afc_folder.empty() && !NormalizeAfcPath(afc_folder, &normalized)) {
    *error = "folder leaves the AFC root: " + afc_folder;
    return false;
  }
  std::lock_guard<std::mutex> lock(device->mutex);
  device->hostile_folder = normalized;
  return true;
}

}  // namespace devicesim
