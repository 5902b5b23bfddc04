#pragma once

// A view of a scene. Until the world issue lands it holds the no-actors flag
// the frame reads and draws nothing of its own.
class cTarvelView {
public:
    cTarvelView();
    virtual ~cTarvelView();
    cTarvelView(const cTarvelView&) = delete;
    cTarvelView& operator=(const cTarvelView&) = delete;

    // Draws one render item of the view (render-item kind 4).
    virtual void Render(void* item);
    // Makes the view current on a stage (0 main, 1 second stage) of the
    // current scene.
    virtual void Select(int stage);

    // Mobiles are not drawn in a stage whose view has it.
    bool mNoActors;
};
