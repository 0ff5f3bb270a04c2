#include "scenes/flow.h"

#include "scenes/game/game_parent.h"
#include "scenes/loading/load_parent.h"
#include "scenes/result/game_result.h"
#include "scenes/title/title_parent.h"

namespace scenes {

namespace {

SequenceChild* TitleAfterLoading(Services& services) { return NewTitle(services); }

}  // namespace

SequenceChildBase* BuildScene(Next next, Services& services) {
  switch (next) {
    case Next::Title: return NewTitle(services);
    case Next::Game: return NewGame(services);
    case Next::Result: return new GameResult(services);
  }
  return nullptr;
}

SequenceChild* FirstScene(Services& services) {
  return new LoadParent(services, LoadParent::DefaultJobs(services.language), &TitleAfterLoading,
                        LoadParent::kDefaultLoader, LoadParent::DefaultWorkers(),
                        LoadParent::DefaultHelperStart());
}

}  // namespace scenes
