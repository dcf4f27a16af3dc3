#pragma once

#include <type_traits>
#include <utility>

namespace cw::common {

template <typename Signature>
class FunctionRef;

// A non-owning reference to a callable: what std::function would be without the allocation,
// for callbacks that never outlive the call they are passed to.
template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
 public:
  template <typename F>
  requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> &&
           std::is_invocable_r_v<R, F&, Args...>)
      FunctionRef(F&& callable)  // NOLINT(google-explicit-constructor): used like a function type
      : object_(const_cast<void*>(static_cast<const void*>(&callable))),
        call_([](void* object, Args... args) -> R {
          return (*static_cast<std::remove_reference_t<F>*>(object))(std::forward<Args>(args)...);
        }) {}

  R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

 private:
  void* object_;
  R (*call_)(void*, Args...);
};

}  // namespace cw::common
