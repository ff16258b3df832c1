#include "servicefw/framework.h"

#include <map>
#include <mutex>
#include <stdexcept>

namespace cppmicroservices {

struct ServiceRegistry {
  struct Entry {
    std::string interfaceId;
    std::shared_ptr<void> service;
  };
  mutable std::mutex mutex;
  bool running = false;            // guarded by mutex
  long nextId = 1;                 // guarded by mutex
  std::map<long, Entry> services;  // guarded by mutex; ordered by id

  void requireRunning() const {
    if (!running)
      throw std::logic_error("the service framework is not running");
  }
};

BundleContext::BundleContext(std::shared_ptr<ServiceRegistry> registry)
    : registry_(std::move(registry)) {}

ServiceReference BundleContext::registerService(const std::string& interfaceId,
                                                std::shared_ptr<void> service) {
  std::lock_guard<std::mutex> lock(registry_->mutex);
  registry_->requireRunning();
  const long id = registry_->nextId++;
  registry_->services.emplace(
      id, ServiceRegistry::Entry{interfaceId, std::move(service)});
  return ServiceReference(id, interfaceId);
}

std::vector<ServiceReference> BundleContext::getServiceReferences(
    const std::string& interfaceId, const std::string& filter) const {
  if (!filter.empty()) {
    throw std::invalid_argument("service filters are not supported: " + filter);
  }
  std::lock_guard<std::mutex> lock(registry_->mutex);
  registry_->requireRunning();
  std::vector<ServiceReference> references;
  for (const auto& [id, entry] : registry_->services) {
    if (entry.interfaceId == interfaceId)
      references.emplace_back(id, interfaceId);
  }
  return references;
}

std::shared_ptr<void> BundleContext::getServiceObject(
    const ServiceReference& reference) const {
  std::lock_guard<std::mutex> lock(registry_->mutex);
  const auto found = registry_->services.find(reference.id());
  if (found == registry_->services.end()) return nullptr;
  return found->second.service;
}

Framework::Framework(std::string name)
    : name_(std::move(name)), registry_(std::make_shared<ServiceRegistry>()) {}

Framework::~Framework() { stop(); }

void Framework::start() {
  std::lock_guard<std::mutex> lock(registry_->mutex);
  registry_->running = true;
}

void Framework::stop() {
  std::map<long, ServiceRegistry::Entry> released;
  {
    std::lock_guard<std::mutex> lock(registry_->mutex);
    registry_->running = false;
    released.swap(registry_->services);
  }
  // The services are released here, outside the registry's lock.
}

bool Framework::isRunning() const {
  std::lock_guard<std::mutex> lock(registry_->mutex);
  return registry_->running;
}

BundleContext Framework::getBundleContext() const {
  return BundleContext(registry_);
}

}  // namespace cppmicroservices
