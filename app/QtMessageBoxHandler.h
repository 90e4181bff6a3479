#pragma once
// Message boxes of the running application: modal, with its title and an OK button.

void InstallQtMessageBoxHandler();
