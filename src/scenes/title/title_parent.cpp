#include "scenes/title/title_parent.h"

#include "scenes/title/title.h"

namespace scenes {

TitleParent::TitleParent(Services& services) { child = new Title(services); }

SequenceChild* NewTitle(Services& services) { return new TitleParent(services); }

}  // namespace scenes
