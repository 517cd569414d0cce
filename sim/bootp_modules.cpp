#include "sim/bootp_modules.h"

#include "base/text_scan.h"

namespace plinth {

struct SimBootp::Slot {
  std::shared_ptr<SimModule> module;
  std::unique_ptr<BootpClient> client;
};

SimBootp::SimBootp(SimServer& server, SimBootpOptions options, FILE* log)
    : server_(server), options_(std::move(options)), log_(log) {}

SimBootp::~SimBootp() {
  for (auto& slot : slots_) slot->module->SetFlashFlagHandler(nullptr);
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& slot : slots_)
    if (slot->client) slot->client->Stop();
}

bool SimBootp::Start(std::string& error) {
  for (const auto& module : server_.Modules()) {
    slots_.push_back(std::make_unique<Slot>());
    slots_.back()->module = module;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& slot : slots_) {
    Slot* s = slot.get();
    s->module->SetFlashFlagHandler([this, s](SimModule&, bool keep) { OnFlashFlag(*s, keep); });
    if (s->module->State() == AddressState::kWaitingForBootp && !StartClient(*s, error)) return false;
  }
  return true;
}

bool SimBootp::StartClient(Slot& slot, std::string& error) {
  if (slot.client) {
    slot.client->Restart();
    return true;
  }
  Slot* s = &slot;
  slot.client = std::make_unique<BootpClient>(slot.module->Mac(), options_.client,
                                              [this, s](uint32_t address) { OnAddress(*s, address); });
  return slot.client->Start(error);
}

void SimBootp::OnAddress(Slot& slot, uint32_t address) {
  const std::string mac = FormatMac(slot.module->Mac()), ip = FormatIpv4(address);
  if (!options_.client.interfaceName.empty() &&
      !AddInterfaceAddress(options_.client.interfaceName, address, options_.prefixLength)) {
    if (log_) std::fprintf(log_, "module %s: cannot add %s to %s\n", mac.c_str(), ip.c_str(),
                           options_.client.interfaceName.c_str());
  }
  slot.module->AssignAddress(address);
  server_.Wake();
  if (log_) {
    std::fprintf(log_, "module %s got %s by BOOTP\n", mac.c_str(), ip.c_str());
    std::fflush(log_);
  }
}

void SimBootp::OnFlashFlag(Slot& slot, bool keepAddress) {
  if (keepAddress) return;  // the flag itself is the module's state
  slot.module->WaitForBootp();
  server_.Wake();
  std::string error;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!StartClient(slot, error) && log_) std::fprintf(log_, "BOOTP: %s\n", error.c_str());
  }
  if (log_) {
    std::fprintf(log_, "module %s back to BOOTP\n", FormatMac(slot.module->Mac()).c_str());
    std::fflush(log_);
  }
}

}  // namespace plinth
