// Interface: the 3-D walk-arrow cursor and the tooltip box.

shared float4x4 World : WORLD;
float4x4 walkarrowmat;
float2 pixsize = { 0.0005f, 0.0007f };
float4 arrowColor = { 0.55f, 0.85f, 0.55f, 1.0f };

struct ArrowOut
{
    float4 position : POSITION;
    float4 color : COLOR0;
};

ArrowOut ArrowVS(float4 position : POSITION, float3 normal : NORMAL)
{
    ArrowOut output;
    output.position = mul(mul(position, World), walkarrowmat);
    output.position.xy -= pixsize * output.position.w;
    float light = 0.5f + 0.5f * saturate(dot(normalize(normal), float3(0.0f, 0.7f, -0.7f)));
    output.color = float4(arrowColor.rgb * light, arrowColor.a);
    return output;
}

float4 ArrowPS(ArrowOut input) : COLOR
{
    return input.color;
}

struct BoxOut
{
    float4 position : POSITION;
    float4 color : COLOR0;
};

BoxOut BoxVS(float4 position : POSITION, float4 color : COLOR0)
{
    BoxOut output;
    output.position = position;
    output.color = color;
    return output;
}

float4 BoxPS(BoxOut input) : COLOR
{
    return input.color;
}

technique ui_walkarrow
{
    pass p0
    {
        ZEnable = false;
        ZWriteEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 ArrowVS();
        PixelShader = compile ps_2_0 ArrowPS();
    }
}

technique ui_tooltip
{
    pass p0
    {
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZEnable = false;
        ZWriteEnable = false;
        VertexShader = compile vs_2_0 BoxVS();
        PixelShader = compile ps_2_0 BoxPS();
    }
}
