// A private network for a test process: a network namespace of its own (only a loopback
// device, brought up) and a private mount namespace with its own /run, so that an rpcbind
// started there listens on port 111 of that namespace only and keeps its socket apart.
//
//   std::string sWhy;
//   if (!Sim::EnterPrivateNetwork(sWhy)) GTEST_SKIP() << sWhy;
//   Sim::Rpcbind rpcbind;
//   if (!rpcbind.Start(sWhy)) GTEST_SKIP() << sWhy;
//
// EnterPrivateNetwork moves the calling thread (and every thread it starts afterwards) into the
// namespaces; call it from the test's main thread before any server thread starts. It acts once
// per process and returns the first outcome again.
#pragma once

#include <initializer_list>
#include <string>
#include <sys/types.h>

namespace Sim {

bool EnterPrivateNetwork(std::string& sWhyNot);

// What EnterPrivateNetwork does, each time it is called: for a process that was just forked to
// play a host of its own.
bool MakePrivateNetwork(std::string& sWhyNot);

// Adds a veth pair inside the private network: sName with an IPv4 address and prefix (e.g.
// "192.168.1.20", 24) and its peer sName + "p" without an address, both up. Nothing answers on
// the peer, so packets to other hosts of that network go nowhere. False with a reason when the
// pair cannot be made.
bool AddVethInterface(const std::string& sName, const std::string& sAddress, int iPrefix, std::string& sWhyNot);

// Runs a program (full path first) with its output discarded and waits for it; true when it
// exits with 0.
bool RunQuiet(std::initializer_list<std::string> args);
// Brings a network interface of the calling thread's namespace up.
bool BringUp(const char* pName, std::string& sWhyNot);

// rpcbind in the private network, killed by Stop, by the destructor, or with the test process.
class Rpcbind {
  public:
    Rpcbind() = default;
    ~Rpcbind() { Stop(); }
    Rpcbind(const Rpcbind&) = delete;
    Rpcbind& operator=(const Rpcbind&) = delete;

    // Starts it and waits (at most 5 s) until port 111 on 127.0.0.1 accepts connections.
    bool Start(std::string& sWhyNot);
    void Stop();

  private:
    pid_t iPid = -1;
};

} // namespace Sim
