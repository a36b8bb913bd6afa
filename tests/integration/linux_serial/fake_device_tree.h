// A made-up /dev, /dev/serial/by-id and /sys as the kernel lays them out, whose device
// nodes are links to pseudo-terminals, so that a device can be both described from
// sysfs and really opened through the layer: two USB serial adapters, a USB modem
// (ttyACM), a ttyS with a UART, a ttyS the driver found no UART behind, and a ports
// directory with a mapping by by-id name and one that leads nowhere.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/linux/kernel32/port_names.h"

namespace fs = std::filesystem;

class FakeDeviceTree {
 public:
  FakeDeviceTree();  // builds the whole tree; ok() tells whether it worked
  ~FakeDeviceTree();
  FakeDeviceTree(const FakeDeviceTree&) = delete;
  FakeDeviceTree& operator=(const FakeDeviceTree&) = delete;

  bool ok() const { return ok_; }
  const fs::path& root() const { return root_; }  // what fileptt-ports --root is given
  posix::DeviceRoots roots() const;
  fs::path configHome() const { return root_ / "config"; }
  fs::path portsDir() const { return configHome() / "fileptt" / "ports"; }
  fs::path byId(const std::string& name) const { return root_ / "dev" / "serial" / "by-id" / name; }

  // The pseudo-terminal slave behind each device node ("ttyUSB0" -> "/dev/pts/7").
  std::string slaveOf(const std::string& node) const { return slaves_.at(node).path; }
  int masterOf(const std::string& node) const { return slaves_.at(node).master; }

  // The by-id names of the tree.
  static constexpr const char* kFtdiById = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  static constexpr const char* kProlificById =
      "usb-Prolific_Technology_Inc._USB-Serial_Controller_BFCCb112J20-if00-port0";
  static constexpr const char* kPicoById = "usb-Raspberry_Pi_Pico_E6614103E7-if00";

 private:
  void addNode(const std::string& node);
  void addUsbSerial(const std::string& node, const std::string& usbPath, const std::string& driver,
                    const std::string& vendor, const std::string& product,
                    const std::string& serial, const std::string& manufacturer,
                    const std::string& productName, const std::string& byId, bool acm);
  void addUart(const std::string& node, int type);
  void link(const fs::path& target, const fs::path& at);

  struct Slave {
    int master = -1;
    std::string path;
  };
  bool ok_ = false;
  fs::path root_;
  std::map<std::string, Slave> slaves_;
};
