#pragma once
// The script class "CharacterSet" and "getAnimCharacterSet" on transform
// groups.

class ScriptApi;

void addAnimationScriptApi(ScriptApi& api);
