// Tree nodes under windows, menus, bitmaps, frames and meshes: a parent and a ring of children closed by a
// sentinel, walks with a callback, moving, deleting, and saving a node with all its children.
#pragma once

#include "ZevLSObj.h"

#include <cstdint>

class TZevVTree;
class TZevTreeSentinel;

// Callback of the walks.
typedef void (*TZevTreeCallback)(TZevVTree* node, void* arg);

// Abstract node. A node is a real node exactly when it has a child ring (`children` not null); a sentinel has
// none. Walks and deletion work without recursion, so wide and deep trees cannot exhaust the stack.
class TZevVTree : public TZevLSObj {
public:
    TZevVTree();
    // Leaves its ring, then deletes its children with their subtrees and its sentinel.
    ~TZevVTree() override;

    // Reads the saved children (objects up to the saved sentinel) and attaches them in order. False for anything
    // that is not a tree node, a stream that ends before the sentinel, or a child that fails to load.
    bool Load(TZevStream* stream) override;
    // TZevLSObj::Save, then every child's Save in ring order, then the sentinel's.
    bool Save(TZevStream* stream) override;

    // fn(node, arg) for the node and its subtree and for every later sibling with its subtree:
    // post-order: children, then later siblings, then the node (siblings come in reverse order);
    // in-order: children, then the node, then the later siblings;
    // pre-order: the node, then its children, then the later siblings.
    // A null callback visits nothing. The callback may delete the node it is given in the post-order walk only.
    virtual void ForEachPostOrder(TZevTreeCallback fn, void* arg);
    virtual void ForEachInOrder(TZevTreeCallback fn, void* arg);
    virtual void ForEachPreOrder(TZevTreeCallback fn, void* arg);

    TZevVTree* GetParent() const { return parent; }
    // Null when there is no child.
    TZevVTree* GetFirstChild() const;
    TZevVTree* GetLastChild() const;
    // Null for a root and for the last child.
    TZevVTree* GetNextSibling() const;
    TZevVTree* GetPrevSibling() const;
    bool HasChildRing() const { return children != nullptr; }
    TZevTreeSentinel* GetSentinel() const { return children; }

    // Moves `node` (with its subtree) to the end of this node's children. Refused (false) when this node has no
    // child ring, or `node` is null, this node, one of its ancestors or a sentinel.
    bool AddChild(TZevVTree* node);
    // Takes this node out of its ring (parent null, linked to itself); returns the node that followed it (its
    // parent's sentinel after the last child; itself for a node in no ring).
    TZevVTree* Unlink();
    // Deletes this node's subtree, then every later sibling with its subtree, then this node. On a sentinel it
    // deletes the children of the ring it closes and keeps itself, which its owner still needs.
    void DeleteSubtree();

protected:
    // The node a walk goes on with after `node` at the same level: its next sibling, or null.
    static TZevVTree* WalkNext(const TZevVTree* node);

    std::int32_t reserved;
    TZevVTree* parent;
    TZevVTree* next;
    TZevTreeSentinel* children;
    TZevVTree* prev;

    friend class TZevTreeSentinel;
};

// A node with a child ring.
class TZevTree : public TZevVTree {
public:
    TZevTree();
};

// Closes a child ring in memory and a list of children in a stream.
class TZevTreeSentinel : public TZevVTree {
public:
    TZevTreeSentinel() = default;
    // The sentinel itself is never visited: each walk goes on at the first child of its ring.
    void ForEachPostOrder(TZevTreeCallback fn, void* arg) override;
    void ForEachInOrder(TZevTreeCallback fn, void* arg) override;
    void ForEachPreOrder(TZevTreeCallback fn, void* arg) override;
};

// A node with a name (plain heap text, null until set).
class TZevStringTree : public TZevTree {
public:
    TZevStringTree() : name(nullptr) {}
    ~TZevStringTree() override;

    // TZevVTree::Load, then the name.
    bool Load(TZevStream* stream) override;
    // TZevVTree::Save, then the name (a null name is written as an empty text).
    bool Save(TZevStream* stream) override;

    const char* GetName() const { return name; }
    // A copy of `text` (null clears it).
    void SetName(const char* text);

protected:
    char* name;
};

// Registered kind of named node; nothing uses its extra word.
class TZevClassTree : public TZevStringTree {
public:
    std::int32_t classWord = 0;
};

extern TZevClassRecord TZevVTreeClassRecord;
extern TZevClassRecord TZevTreeClassRecord;
extern TZevClassRecord TZevTreeSentinelClassRecord;
extern TZevClassRecord TZevStringTreeClassRecord;
extern TZevClassRecord TZevClassTreeClassRecord;

TZevLSObj* CreateTZevVTree();
TZevLSObj* CreateTZevTree();
TZevLSObj* CreateTZevTreeSentinel();
TZevLSObj* CreateTZevStringTree();
TZevLSObj* CreateTZevClassTree();

// Start-up of this file: registers the tree classes (after TZevLSObj). Runs once; later calls do nothing.
void ZevTreeInit();
