// placeholder until the game plays
