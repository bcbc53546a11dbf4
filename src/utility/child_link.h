// ZEBChildLink: the elevated child helper as a module sees it. The client implements it and hands it over at
// start-up (like the report sink), so that no module needs to know the client.
//
// The child is a second copy of this program, started with administrator rights; it connects to a listener of
// this process and takes commands from it as from a host, and its reports come back to the module's child-packet
// handler. Commands for it that arrive before it has connected wait in the client's queue and are run through
// the host intake again once it is there.
//
// Thread safety: implementations accept calls from any thread; handing over, queuing and sending to the child
// are serialised by the client's lock.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>

#include "basic/ipc_packet.h"

class ZEBChildLink {
 public:
  enum class Handover {
    kChildConnected,  // nothing was queued: send the command to the child now
    kQueued,          // the command waits for the child, which has been (or was already being) started
    kListenFailed,    // no listener for the child
    kLaunchFailed,    // the child could not be started
  };

  virtual ~ZEBChildLink() = default;

  // Under the client's lock: when the child is connected, does nothing. Otherwise listens for it (once), starts
  // it with `launch` (given the listener's port) unless a start is already under way, and queues `packet` for
  // its arrival, so that the arrival cannot overtake the queuing.
  virtual Handover HandToChild(const bas::IPCPacket& packet, const std::function<bool(uint16_t port)>& launch) = 0;
  // The started child has ended (or never came: its user refused to elevate it). Forgets the start, so that the
  // next command starts a new child, and returns the commands that were still waiting for it, to be answered.
  virtual std::deque<bas::IPCPacket> ChildEnded() = 0;
  // Sends a packet (header fields and payload as given) to the connected child; false when there is none.
  virtual bool SendToChild(const bas::IPCPacket& packet) = 0;
  // Sends a packet from the child to every host connection exactly as it came: 1 when there is none, else 0.
  virtual int RelayToHost(const bas::IPCPacket& packet) = 0;
};
