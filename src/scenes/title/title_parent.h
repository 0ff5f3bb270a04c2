// The title: the hub every run starts from and returns to. The top-level
// title scene holds one second-level scene, the title screen itself.
#pragma once

#include "scenes/sequence.h"

namespace scenes {

class TitleParent;
using TitleChild = ChildScene<TitleParent>;

class TitleParent : public ParentScene<TitleParent, TitleChild> {
 public:
  explicit TitleParent(Services& services);
};

// A new title scene with a new title screen.
SequenceChild* NewTitle(Services& services);

}  // namespace scenes
