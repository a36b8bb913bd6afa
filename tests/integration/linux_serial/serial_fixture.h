// A pseudo-terminal standing in for a serial port, mapped as COM7 through a ports
// directory in a temporary XDG_CONFIG_HOME, with its own modem-simulator directory and
// an empty temporary current directory. Every test of this folder starts from one.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "modemsim_reader.h"
#include "platform/platform.h"
#include "serial/error_status.h"
#include "serial/serial_port_channel.h"

namespace fs = std::filesystem;

// A test-name suffix for a parameter text: its letters and digits, after its index.
std::string caseName(std::size_t index, const std::string& text);

// Descriptors of this process that are open on `path`.
std::vector<int> descriptorsOpenOn(const std::string& path);
std::size_t openDescriptorCount();

class SerialPortFixture : public ::testing::Test {
 protected:
  static constexpr ChannelNumber kChannel = 3;
  static constexpr const char* kPortName = "COM7";

  void SetUp() override;
  void TearDown() override;

  // Maps COMn (as a file in the ports directory) to `target`.
  void mapPort(const std::string& comName, const fs::path& target);
  fs::path portsDir() const { return root_ / "config" / "fileptt" / "ports"; }
  fs::path scratch() const { return root_ / "scratch"; }

  termios slaveSettings() const;  // read through the master side
  void setSlaveSettings(const termios& settings) const;
  void closeMaster();

  // The simulator must be preloaded for the lines to exist at all.
  void requireSimulator() const;

  std::uint8_t openPort(const std::string& name = kPortName);

  int master_ = -1;
  std::string slavePath_;
  ErrorStatusScope status_;

 private:
  fs::path root_;
  fs::path previousCwd_;
};
