// An intrusive doubly linked list with head and tail sentinels; the newest node comes first.
#pragma once
#include <cstdint>

struct LinkedListNode {
    intptr_t data1;          // e.g. a handle
    intptr_t data2;          // e.g. its record pointer
    LinkedListNode *prev;
    LinkedListNode *next;    // null after the tail sentinel
};

int InitLinkedList(LinkedListNode *head, LinkedListNode *tail);                         // 0
int AppendListNode(LinkedListNode *head, LinkedListNode *node, intptr_t d1, intptr_t d2); // 0
int RemoveListNode(LinkedListNode *node);                                               // 0
