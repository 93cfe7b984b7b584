// Sets an environment variable for the life of the object and puts the old value back.
#pragma once

#include <optional>
#include <string>

namespace brelo::test {

class ScopedEnv {
 public:
  /// value nullopt: the variable is removed for the life of the object.
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace brelo::test
