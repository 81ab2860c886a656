// Tree nodes: child rings closed by sentinels, walks, moving, deleting, saving and loading.
#include "ZevTree.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

TZevClassRecord TZevVTreeClassRecord;
TZevClassRecord TZevTreeClassRecord;
TZevClassRecord TZevTreeSentinelClassRecord;
TZevClassRecord TZevStringTreeClassRecord;
TZevClassRecord TZevClassTreeClassRecord;

TZevLSObj* CreateTZevVTree()
{
    return ZevCreateRegistered<TZevVTree>(&TZevVTreeClassRecord);
}
TZevLSObj* CreateTZevTree()
{
    return ZevCreateRegistered<TZevTree>(&TZevTreeClassRecord);
}
TZevLSObj* CreateTZevTreeSentinel()
{
    return ZevCreateRegistered<TZevTreeSentinel>(&TZevTreeSentinelClassRecord);
}
TZevLSObj* CreateTZevStringTree()
{
    return ZevCreateRegistered<TZevStringTree>(&TZevStringTreeClassRecord);
}
TZevLSObj* CreateTZevClassTree()
{
    return ZevCreateRegistered<TZevClassTree>(&TZevClassTreeClassRecord);
}

namespace {

// Nodes whose deletion is under way on this thread: a destructor inside a deletion hands its children here
// instead of deleting them itself, and the outermost destructor deletes them one by one. So deleting a tree
// nests no calls, however wide or deep it is. The stack is linked through `next`.
thread_local TZevVTree* PendingDeletes = nullptr;
thread_local bool DeletingTree = false;

thread_local int SaveDepth = 0;

} // namespace

// ---- TZevVTree -------------------------------------------------------------------------------------------------

TZevVTree::TZevVTree() : reserved(0), parent(nullptr), next(this), children(nullptr), prev(this) {}

TZevTree::TZevTree()
{
    // Made directly rather than by name, so a tree never depends on what the registry holds.
    children = static_cast<TZevTreeSentinel*>(CreateTZevTreeSentinel());
}

TZevVTree::~TZevVTree()
{
    prev->next = next;
    next->prev = prev;
    next = prev = this;
    parent = nullptr;
    if (!children)
        return;
    // Pushed last child first, so the first child comes off the stack first: the order of a recursive deletion.
    TZevTreeSentinel* s = children;
    for (TZevVTree* c = s->prev; c != s;) {
        TZevVTree* before = c->prev;
        c->parent = nullptr;
        c->prev = c;
        c->next = PendingDeletes;
        PendingDeletes = c;
        c = before;
    }
    s->next = s->prev = s;
    if (!DeletingTree) {
        DeletingTree = true;
        while (TZevVTree* x = PendingDeletes) {
            PendingDeletes = x->next;
            x->next = x->prev = x;
            delete x;
        }
        DeletingTree = false;
    }
    children = nullptr;
    delete s;
}

TZevVTree* TZevVTree::GetFirstChild() const
{
    if (!children || children->next == children)
        return nullptr;
    return children->next;
}

TZevVTree* TZevVTree::GetLastChild() const
{
    if (!children || children->prev == children)
        return nullptr;
    return children->prev;
}

TZevVTree* TZevVTree::GetNextSibling() const
{
    if (!parent)
        return nullptr;
    return next->children ? next : nullptr;
}

TZevVTree* TZevVTree::GetPrevSibling() const
{
    if (!parent)
        return nullptr;
    return prev->children ? prev : nullptr;
}

bool TZevVTree::AddChild(TZevVTree* node)
{
    if (!children || !node || !node->children)
        return false;
    // Only a node with children can be an ancestor of this one; a leaf needs no walk up the tree.
    if (node == this)
        return false;
    if (node->GetFirstChild()) {
        for (const TZevVTree* a = parent; a; a = a->parent) {
            if (a == node)
                return false;
        }
    }
    node->prev->next = node->next;
    node->next->prev = node->prev;
    node->prev = children->prev;
    node->next = children;
    children->prev->next = node;
    children->prev = node;
    node->parent = this;
    return true;
}

TZevVTree* TZevVTree::Unlink()
{
    TZevVTree* after = next;
    prev->next = next;
    next->prev = prev;
    next = prev = this;
    parent = nullptr;
    return after;
}

void TZevVTree::DeleteSubtree()
{
    if (!children) {
        if (dynamic_cast<TZevTreeSentinel*>(this)) {
            for (TZevVTree* x = next; x != this;) {
                TZevVTree* after = x->next;
                delete x;
                x = after;
            }
            return;
        }
        delete this;
        return;
    }
    children->DeleteSubtree();
    for (TZevVTree* x = next; x != this && x->children;) {
        TZevVTree* after = x->next;
        delete x;
        x = after;
    }
    delete this;
}

TZevVTree* TZevVTree::WalkNext(const TZevVTree* node)
{
    TZevVTree* n = node->next;
    return (n != node && n->children) ? n : nullptr;
}

// The walks keep no stack: they move through parent, first-child and ring links, and stop when they are back at
// the level of the node they started from.

void TZevVTree::ForEachPreOrder(TZevTreeCallback fn, void* arg)
{
    if (!fn)
        return;
    const TZevVTree* top = parent;
    TZevVTree* node = this;
    for (;;) {
        fn(node, arg);
        if (TZevVTree* c = node->GetFirstChild()) {
            node = c;
            continue;
        }
        for (;;) {
            if (TZevVTree* s = WalkNext(node)) {
                node = s;
                break;
            }
            if (node->parent == top)
                return;
            node = node->parent;
        }
    }
}

void TZevVTree::ForEachInOrder(TZevTreeCallback fn, void* arg)
{
    if (!fn)
        return;
    const TZevVTree* top = parent;
    auto descend = [](TZevVTree* x) {
        while (TZevVTree* c = x->GetFirstChild())
            x = c;
        return x;
    };
    TZevVTree* node = descend(this);
    for (;;) {
        TZevVTree* s = WalkNext(node);
        TZevVTree* up = node->parent;
        const bool atTop = up == top;
        fn(node, arg);
        if (s)
            node = descend(s);
        else if (atTop)
            return;
        else
            node = up;
    }
}

void TZevVTree::ForEachPostOrder(TZevTreeCallback fn, void* arg)
{
    if (!fn)
        return;
    // The post-order of the tree read as a binary tree: first child on the left, next sibling on the right.
    TZevVTree* const start = this;
    auto descend = [](TZevVTree* x) {
        for (;;) {
            if (TZevVTree* c = x->GetFirstChild())
                x = c;
            else if (TZevVTree* s = WalkNext(x))
                x = s;
            else
                return x;
        }
    };
    TZevVTree* node = descend(this);
    for (;;) {
        if (node == start) {
            fn(node, arg);
            return;
        }
        // The next node is worked out before the callback, which may delete this one.
        TZevVTree* after;
        if (node->prev->children && node->prev != node) {
            after = node->prev; // a later sibling: its binary parent is the sibling before it
        } else {
            TZevVTree* up = node->parent; // a first child: its parent's later siblings come next, then the parent
            TZevVTree* right = WalkNext(up);
            after = right ? descend(right) : up;
        }
        fn(node, arg);
        node = after;
    }
}

// ---- Sentinel --------------------------------------------------------------------------------------------------

void TZevTreeSentinel::ForEachPostOrder(TZevTreeCallback fn, void* arg)
{
    if (next != this && next->children)
        next->ForEachPostOrder(fn, arg);
}

void TZevTreeSentinel::ForEachInOrder(TZevTreeCallback fn, void* arg)
{
    if (next != this && next->children)
        next->ForEachInOrder(fn, arg);
}

void TZevTreeSentinel::ForEachPreOrder(TZevTreeCallback fn, void* arg)
{
    if (next != this && next->children)
        next->ForEachPreOrder(fn, arg);
}

// ---- Saving and loading ----------------------------------------------------------------------------------------

bool TZevVTree::Save(TZevStream* stream)
{
    if (SaveDepth >= ZevMaxObjectNesting) {
        ZevDebugLog("TZevVTree::Save: tree too deep to save\n");
        return false;
    }
    if (!TZevLSObj::Save(stream))
        return false;
    if (!children)
        return true;
    ++SaveDepth;
    bool ok = true;
    for (TZevVTree* c = GetFirstChild(); c && ok; c = c->GetNextSibling())
        ok = c->Save(stream);
    ok = ok && children->Save(stream);
    --SaveDepth;
    return ok;
}

bool TZevVTree::Load(TZevStream* stream)
{
    if (!children)
        return true;
    // Every object read consumes bytes of the stream, so the list ends with the stream at the latest.
    for (;;) {
        TZevLSObj* object = ReadObject(stream);
        if (!object)
            return false;
        TZevVTree* node = dynamic_cast<TZevVTree*>(object);
        if (node && !node->children && dynamic_cast<TZevTreeSentinel*>(node)) {
            delete node;
            return true;
        }
        if (!node || !AddChild(node)) {
            delete object;
            return false;
        }
    }
}

// ---- TZevStringTree --------------------------------------------------------------------------------------------

TZevStringTree::~TZevStringTree()
{
    std::free(name);
    name = nullptr;
}

void TZevStringTree::SetName(const char* text)
{
    char* copy = nullptr;
    if (text) {
        const std::size_t n = std::strlen(text);
        copy = static_cast<char*>(std::malloc(n + 1));
        if (!copy)
            return;
        std::memcpy(copy, text, n + 1);
    }
    std::free(name);
    name = copy;
}

bool TZevStringTree::Save(TZevStream* stream)
{
    return TZevVTree::Save(stream) && WriteCString(stream, name);
}

bool TZevStringTree::Load(TZevStream* stream)
{
    if (!TZevVTree::Load(stream))
        return false;
    char* text = nullptr;
    if (!ReadCString(stream, &text))
        return false;
    std::free(name);
    name = text;
    return true;
}

// ---- Start-up --------------------------------------------------------------------------------------------------

void ZevTreeInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterClassRecord(&TZevStringTreeClassRecord, "TZevStringTree", "TZevTree", CreateTZevStringTree);
        RegisterClassRecord(&TZevClassTreeClassRecord, "TZevClassTree", "TZevStringTree", CreateTZevClassTree);
        RegisterClassRecord(&TZevVTreeClassRecord, "TZevVTree", "TZevLSObj", CreateTZevVTree);
        RegisterClassRecord(&TZevTreeClassRecord, "TZevTree", "TZevVTree", CreateTZevTree);
        RegisterClassRecord(&TZevTreeSentinelClassRecord, "TZevTreeSentinel", "TZevVTree", CreateTZevTreeSentinel);
    });
}
