#include "shared/SharedState.h"

static SharedState &instance()
{
    static SharedState state;
    return state;
}

SharedState &shared()
{
    return instance();
}

void resetShared()
{
    instance() = SharedState();
}
