// What the stand-in host does with a system provider from a plug-in, as a
// real host would: reports the microphone state, follows its changes, and
// refuses interactions while the microphone is muted.
#ifndef HOST_SYSTEM_REACTIONS_H_
#define HOST_SYSTEM_REACTIONS_H_

#include "prebuilt/lib/system_provider.h"

namespace vantor_host {

class SystemReactions {
 public:
  // |provider| is borrowed and outlives this object.
  explicit SystemReactions(assistant_client::SystemProvider* provider);
  SystemReactions(const SystemReactions&) = delete;
  SystemReactions& operator=(const SystemReactions&) = delete;
  ~SystemReactions();

  // Whether interactions must be refused now.
  bool IsMuted();

 private:
  assistant_client::SystemProvider* const provider_;
};

}  // namespace vantor_host

#endif  // HOST_SYSTEM_REACTIONS_H_
