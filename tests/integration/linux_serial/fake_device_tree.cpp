#include "fake_device_tree.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

#include "tests/support/pseudo_terminal.h"

namespace {

void write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

}  // namespace

FakeDeviceTree::FakeDeviceTree() {
  char pattern[] = "/tmp/fileptt-tree-XXXXXX";
  if (!::mkdtemp(pattern)) return;
  root_ = pattern;
  fs::create_directories(portsDir());
  fs::create_directories(root_ / "sys" / "class" / "tty");
  for (const char* node : {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0", "ttyS1"}) addNode(node);
  if (slaves_.size() != 5) return;

  addUsbSerial("ttyUSB0", "pci0000:00/0000:00:14.0/usb1/1-1", "ftdi_sio", "0403", "6001",
               "A50285BI", "FTDI", "FT232R USB UART", kFtdiById, false);
  addUsbSerial("ttyUSB1", "pci0000:00/0000:00:14.0/usb1/1-2", "pl2303", "067b", "2303",
               "BFCCb112J20", "Prolific Technology Inc.", "USB-Serial Controller", kProlificById,
               false);
  addUsbSerial("ttyACM0", "pci0000:00/0000:00:14.0/usb1/1-3", "cdc_acm", "2e8a", "000a",
               "E6614103E7", "Raspberry Pi", "Pico", kPicoById, true);
  addUart("ttyS0", 4);  // a 16550A
  addUart("ttyS1", 0);  // registered by the driver, no UART found

  // COM1 pinned to the Prolific adapter by its by-id name; COM5 to one that is unplugged;
  // "com2" is not a port name at all.
  link(byId(kProlificById), portsDir() / "COM1");
  link(byId("usb-Silicon_Labs_CP2102_0001-if00-port0"), portsDir() / "COM5");
  write(portsDir() / "com2", "");
  ok_ = true;
}

FakeDeviceTree::~FakeDeviceTree() {
  for (auto& [node, slave] : slaves_) ::close(slave.master);
  std::error_code ignored;
  if (!root_.empty()) fs::remove_all(root_, ignored);
}

posix::DeviceRoots FakeDeviceTree::roots() const {
  return {(root_ / "dev").string(), (root_ / "sys" / "class" / "tty").string(),
          (root_ / "proc" / "consoles").string()};
}

void FakeDeviceTree::addNode(const std::string& node) {
  testpty::Opened pty = testpty::open();
  if (pty.master < 0) return;
  slaves_[node] = {pty.master, std::move(pty.slave)};
  link(slaves_[node].path, root_ / "dev" / node);
}

// As the kernel has it: /sys/class/tty/ttyUSB0 -> the tty under the port's interface,
// whose `device` is the usb-serial port (ttyACM: the interface itself) with its
// driver, below the USB device that carries idVendor, idProduct and serial.
void FakeDeviceTree::addUsbSerial(const std::string& node, const std::string& usbPath,
                                  const std::string& driver, const std::string& vendor,
                                  const std::string& product, const std::string& serial,
                                  const std::string& manufacturer, const std::string& productName,
                                  const std::string& byId, bool acm) {
  const fs::path sys = root_ / "sys";
  const fs::path usb = sys / "devices" / usbPath;
  write(usb / "idVendor", vendor);
  write(usb / "idProduct", product);
  write(usb / "serial", serial);
  write(usb / "manufacturer", manufacturer);
  write(usb / "product", productName);
  const fs::path interface = usb / (usb.filename().string() + ":1.0");
  const fs::path device = acm ? interface : interface / node;
  const fs::path tty = device / "tty" / node;
  fs::create_directories(tty);
  const fs::path drivers = sys / "bus" / "usb" / "drivers" / driver;
  fs::create_directories(drivers);
  link(fs::relative(drivers, device), device / "driver");
  link(fs::relative(device, tty), tty / "device");
  link(fs::relative(tty, sys / "class" / "tty"), sys / "class" / "tty" / node);
  link("../../" + node, root_ / "dev" / "serial" / "by-id" / byId);
}

void FakeDeviceTree::addUart(const std::string& node, int type) {
  const fs::path sys = root_ / "sys";
  const fs::path device = sys / "devices" / "platform" / "serial8250";
  const fs::path tty = device / "tty" / node;
  write(tty / "type", std::to_string(type));
  const fs::path drivers = sys / "bus" / "platform" / "drivers" / "serial8250";
  fs::create_directories(drivers);
  if (!fs::exists(device / "driver")) link(fs::relative(drivers, device), device / "driver");
  link(fs::relative(device, tty), tty / "device");
  link(fs::relative(tty, sys / "class" / "tty"), sys / "class" / "tty" / node);
}

void FakeDeviceTree::link(const fs::path& target, const fs::path& at) {
  fs::create_directories(at.parent_path());
  fs::create_symlink(target, at);
}
