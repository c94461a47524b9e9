// Anchor of the assets library; the embedded data comes from the asset folders.
