-- Startup script of the sample game.

function init()
    print("sample game: init")
end

function update(dt)
end

function draw()
end

function keyEvent(unicode, sym, modifier, isDown)
end

function mouseEvent(posX, posY, isDown, isUp, button)
end
