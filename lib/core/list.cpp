// Intrusive doubly linked lists between a head and a tail sentinel.
#include "lib/core/list.h"

int InitLinkedList(LinkedListNode *head, LinkedListNode *tail)
{
    head->prev = nullptr;
    head->next = tail;
    tail->prev = head;
    tail->next = nullptr;
    return 0;
}

int AppendListNode(LinkedListNode *head, LinkedListNode *node, intptr_t d1, intptr_t d2)
{
    node->data1 = d1;
    node->data2 = d2;
    node->prev = head;
    node->next = head->next;
    head->next->prev = node;
    head->next = node;
    return 0;
}

int RemoveListNode(LinkedListNode *node)
{
    // An unlinked node (never linked or already removed) is left alone.
    if (!node->prev || !node->next)
        return 0;
    node->prev->next = node->next;
    node->next->prev = node->prev;
    node->prev = nullptr;
    node->next = nullptr;
    return 0;
}
