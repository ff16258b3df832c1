// Stand-in of the service framework: a framework that is started and
// stopped, its bundle context, services registered under an interface id,
// looked up as service references (only the empty filter is supported) and
// fetched as service objects.
//
// Ownership: the framework and every BundleContext copy share one registry;
// a service object is a std::shared_ptr, so a caller's service stays alive
// while it holds it, also after the framework has stopped. Stopping the
// framework unregisters every service.
// Thread-safety: every operation may be called from any thread; the
// registry is guarded by one mutex, and no caller code runs under it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#define SERVICEFW_EXPORT __attribute__((visibility("default")))

namespace cppmicroservices {

struct ServiceRegistry;

// Names one registered service; empty (false) when default-constructed.
class SERVICEFW_EXPORT ServiceReference {
 public:
  ServiceReference() = default;
  ServiceReference(long id, std::string interfaceId)
      : id_(id), interfaceId_(std::move(interfaceId)) {}
  explicit operator bool() const { return id_ != 0; }
  long id() const { return id_; }
  const std::string& interfaceId() const { return interfaceId_; }

 private:
  long id_ = 0;
  std::string interfaceId_;
};

class SERVICEFW_EXPORT BundleContext {
 public:
  explicit BundleContext(std::shared_ptr<ServiceRegistry> registry);

  // Registers `service` (which may be empty) under `interfaceId`. Throws
  // std::logic_error when the framework is not running.
  ServiceReference registerService(const std::string& interfaceId,
                                   std::shared_ptr<void> service);

  // References of the services registered under `interfaceId`, oldest
  // first. Only the empty filter is supported: any other throws
  // std::invalid_argument. Throws std::logic_error when the framework is
  // not running.
  std::vector<ServiceReference> getServiceReferences(
      const std::string& interfaceId, const std::string& filter = "") const;

  // The service object `reference` names, as the type it was registered
  // as; empty when the service is gone or was registered empty.
  template <class T>
  std::shared_ptr<T> getService(const ServiceReference& reference) const {
    return std::static_pointer_cast<T>(getServiceObject(reference));
  }

 private:
  std::shared_ptr<void> getServiceObject(
      const ServiceReference& reference) const;

  std::shared_ptr<ServiceRegistry> registry_;
};

class SERVICEFW_EXPORT Framework {
 public:
  explicit Framework(std::string name);
  ~Framework();
  Framework(const Framework&) = delete;
  Framework& operator=(const Framework&) = delete;

  const std::string& name() const { return name_; }
  void start();
  // Unregisters every service; harmless when not running.
  void stop();
  bool isRunning() const;
  BundleContext getBundleContext() const;

 private:
  std::string name_;
  std::shared_ptr<ServiceRegistry> registry_;
};

}  // namespace cppmicroservices
