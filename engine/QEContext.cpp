#include "QEContext.h"

#include "ZevGameChara.h"
#include "ZevNameTable.h"
#include "ZevPhscs2World.h"

#include <cstring>

TZevPhscs2World* CurrentWorld = nullptr;
TZevFrame* RootFrame = nullptr;
TZevFrame* CameraFrame = nullptr;
std::uint8_t* KeyStateTable = nullptr;
float* StepSizePtr = nullptr;
std::int32_t* RepeatSizePtr = nullptr;
TZev3DRenderer* CurrentView = nullptr;
TZevGameChara** MainCharaSlot = nullptr;
std::int32_t SimulationFlag = 1;
TZevString EasyViewText;
TZevStringList ObjectPathList;
TZevList XPhBodyList;
TZevList XPhJointList;

void QEAddObjectPath(const char* directory)
{
    if (!directory)
        return;
    for (int i = 0; i < ObjectPathList.GetCount(); ++i) {
        const char* entry = ObjectPathList.GetAt(i);
        if (entry && std::strcmp(entry, directory) == 0)
            return;
    }
    ObjectPathList.Add(directory);
}

TZevList LooseBodies;

namespace {

// Whether `body` is one of the trees under `root` (at any depth).
bool InTree(TZevCTree* root, const TZevGameChara* body)
{
    TZevList stack;
    stack.PushFront(root);
    while (TZevCTree* tree = ZevPopItem<TZevCTree>(stack)) {
        if (tree != root && dynamic_cast<const TZevGameChara*>(tree) == body) {
            stack.Clear();
            return true;
        }
        for (TZevCTree* c = tree->FirstChildTree(); c; c = c->NextSiblingTree())
            stack.PushFront(c);
    }
    return false;
}

} // namespace

bool QEIsLiveBody(const TZevGameChara* body)
{
    if (!body)
        return false;
    for (const TZevGameChara* loose : ZevItems<TZevGameChara>(LooseBodies)) {
        if (loose == body)
            return true;
    }
    // A body is alive while it is held by the current world, in the simulation or taken out of it.
    return CurrentWorld && (InTree(CurrentWorld->activeRoot, body) || InTree(CurrentWorld->parkedRoot, body));
}

void QEKeepLooseBody(TZevGameChara* body)
{
    if (!body)
        return;
    LooseBodies.Remove(body);
    LooseBodies.Add(body);
}

void QEForgetBody(const TZevGameChara* body)
{
    while (LooseBodies.Remove(const_cast<TZevGameChara*>(body))) {
    }
}

void QEForgetWorldBodies(const TZevPhscs2World* world)
{
    for (TZevListNode* n = LooseBodies.First(); n != LooseBodies.End();) {
        TZevListNode* next = n->next;
        const TZevGameChara* body = ZevItem<TZevGameChara>(n);
        if (InTree(world->activeRoot, body) || InTree(world->parkedRoot, body))
            TZevList::RemoveNode(n);
        n = next;
    }
}

TZevGameChara* QEBody(QE_XPhBody* handle)
{
    TZevGameChara* body = reinterpret_cast<TZevGameChara*>(handle);
    return QEIsLiveBody(body) ? body : nullptr;
}

extern "C" QE_API int QE_RegisterFunction(const char* name, QE_Function function)
{
    return QEGuard(0, [&] {
        if (!name || !*name || !function)
            return 0;
        GetFunctionDictionary()->Add(name, reinterpret_cast<TZevNameValue>(function));
        return 1;
    });
}
